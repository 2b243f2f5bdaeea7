#include "block/symbol_mapping.h"

#include <cmath>
#include <cstddef>

#include "block/conversion.h"
#include "block/parameters.h"
#include "block/work_vectors.h"

namespace quenvarith {

namespace {

constexpr const char* kInputNotBinary = "Input must be binary.";
constexpr const char* kInputOutOfRange = "Input must be an integer in the range of 0 to M-1.";
constexpr const char* kInvalidInputType = "Invalid input type.";

// Undoes the Gray code of a k-bit word: prefix XOR from the most significant bit down.
uint32_t grayDecode(uint32_t word, int32_t bitsPerSymbol) {
  for (int32_t shift = 1; shift < bitsPerSymbol; shift *= 2) {
    word ^= word >> static_cast<uint32_t>(shift);
  }
  return word;
}

}  // namespace

int32_t bitsPerSymbol(int32_t mAryNumber) {
  int exponent = 0;
  std::frexp(static_cast<double>(mAryNumber), &exponent);
  return exponent - 1;
}

int32_t symbolsPerFrame(int32_t inputType, int32_t inputWidth, int32_t bitsPerSymbol) {
  if (inputType == static_cast<int32_t>(InputType::Integer)) {
    return inputWidth;
  }
  // Validation admits no M below 2, so k is at least 1 in a run; a record that was never
  // validated gets no symbols rather than a division by zero.
  if (bitsPerSymbol <= 0) {
    return 0;
  }
  return inputWidth / bitsPerSymbol;
}

SymbolLayout deriveSymbolLayout(const DxpBlockRecord* record, int32_t inputWidth) {
  const int32_t k = bitsPerSymbol(parameterInteger(record, Parameter::MAryNumber));
  return {k, symbolsPerFrame(parameterInteger(record, Parameter::InputType), inputWidth, k)};
}

SymbolLayout deriveSymbolLayout(const DxpBlockRecord* record) {
  return deriveSymbolLayout(record, record->inputPorts[0].width);
}

void mapInputToSymbols(DxpBlockRecord* record) {
  const SymbolLayout layout = deriveSymbolLayout(record);
  if (layout.symbolsPerFrame <= 0) {
    return;
  }

  const int32_t mAryNumber = parameterInteger(record, Parameter::MAryNumber);
  const int32_t inputType = parameterInteger(record, Parameter::InputType);
  const bool gray = parameterInteger(record, Parameter::BitToSymbolMapping) ==
                    static_cast<int32_t>(BitToSymbolMapping::Gray);
  // As a double, so that no M makes M - 1 overflow.
  const double largestSymbol = static_cast<double>(mAryNumber) - 1.0;
  const double* input = record->inputPorts[0].signal;
  auto* symbolIndices = static_cast<int32_t*>(
      record->workVectors[static_cast<int32_t>(WorkVector::SymbolIndices)].data);

  for (int32_t symbol = 0; symbol < layout.symbolsPerFrame; ++symbol) {
    int32_t value = 0;
    if (inputType == static_cast<int32_t>(InputType::Bit)) {
      // k <= 30 for any 32-bit M, so the word always fits.
      uint32_t word = 0;
      const double* bits = input + static_cast<ptrdiff_t>(symbol) * layout.bitsPerSymbol;
      for (int32_t bit = 0; bit < layout.bitsPerSymbol; ++bit) {
        const double element = bits[bit];
        if (element != 0.0 && element != 1.0) {
          dxpSetErrorStatus(record, kInputNotBinary);
          return;
        }
        word = word * 2u + (element == 1.0 ? 1u : 0u);
      }
      if (gray) {
        word = grayDecode(word, layout.bitsPerSymbol);
      }
      value = static_cast<int32_t>(word);
    } else if (inputType == static_cast<int32_t>(InputType::Integer)) {
      const double element = input[symbol];
      if (std::floor(element) != element || element > largestSymbol || element < 0.0) {
        dxpSetErrorStatus(record, kInputOutOfRange);
        return;
      }
      value = truncateToInt32(element);
    } else {
      dxpSetErrorStatus(record, kInvalidInputType);
      return;
    }
    symbolIndices[symbol] = value;
  }
}

}  // namespace quenvarith
