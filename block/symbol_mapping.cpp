#include "block/symbol_mapping.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

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

constexpr uint64_t kOnePattern = 0x3ff0000000000000;  // 1.0
static_assert(std::bit_cast<uint64_t>(1.0) == kOnePattern);

// k bits per symbol, most significant first. Writes symbols until a group holds a value other
// than 0 or 1 and returns whether every group was binary; later entries are left as they were.
bool mapBits(const double* input, int32_t bitsPerSymbol, bool gray, std::span<int32_t> symbols) {
  for (std::size_t symbol = 0; symbol < symbols.size(); ++symbol) {
    // k <= 30 for any 32-bit M, so the word always fits.
    uint32_t word = 0;
    const double* bits = input + static_cast<std::ptrdiff_t>(symbol) * bitsPerSymbol;
    // Random bits defeat branch prediction: collect the word and its validity without
    // branching, and look at the validity once per symbol.
    // Compared as bit patterns, which takes integer compares instead of floating-point ones
    // with their unordered case: 1.0 has one pattern, 0.0 two (+0 and -0).
    uint32_t binary = 1;
    for (int32_t bit = 0; bit < bitsPerSymbol; ++bit) {
      const auto pattern = std::bit_cast<uint64_t>(bits[bit]);
      const auto one = static_cast<uint32_t>(pattern == kOnePattern);
      const auto zero = static_cast<uint32_t>((pattern << 1U) == 0);
      binary &= one | zero;
      word = word * 2U + one;
    }
    if (binary == 0) {
      return false;
    }
    symbols[symbol] = static_cast<int32_t>(gray ? grayDecode(word, bitsPerSymbol) : word);
  }
  return true;
}

// Whether `value` is a whole number from 0 to `largest` (at most 2^31), without a call to floor:
// adding 2^52 to a value in [0, 2^52) is exact only when the value is whole.
inline bool isSymbolValue(double value, double largest) {
  constexpr double kTwoPow52 = 4503599627370496.0;
  return value >= 0.0 && value <= largest && (value + kTwoPow52) - kTwoPow52 == value;
}

// One symbol per value. Writes symbols until a value is not a whole number from 0 to `largest`
// and returns whether every value was; later entries are left as they were.
bool mapIntegers(const double* input, double largest, std::span<int32_t> symbols) {
  for (std::size_t symbol = 0; symbol < symbols.size(); ++symbol) {
    if (!isSymbolValue(input[symbol], largest)) {
      return false;
    }
    symbols[symbol] = truncateToInt32(input[symbol]);
  }
  return true;
}

}  // namespace

SymbolLayout deriveSymbolLayout(const DxpBlockRecord* record, int32_t inputWidth) {
  const int32_t k = bitsPerSymbol(parameterInteger(record, Parameter::MAryNumber));
  return {k, symbolsPerFrame(parameterInteger(record, Parameter::InputType), inputWidth, k)};
}

SymbolLayout deriveSymbolLayout(const DxpBlockRecord* record) {
  return deriveSymbolLayout(record, record->inputPorts[0].width);
}

void mapInputToSymbols(DxpBlockRecord* record) {
  mapInputToSymbols(record, readMappingParameters(record));
}

void mapInputToSymbols(DxpBlockRecord* record, const MappingParameters& parameters) {
  const int32_t k = bitsPerSymbol(parameters.mAryNumber);
  const int32_t symbolCount = symbolsPerFrame(parameters.inputType, record->inputPorts[0].width, k);
  if (symbolCount <= 0) {
    return;
  }
  const double* input = record->inputPorts[0].signal;
  auto* symbolIndices = static_cast<int32_t*>(
      record->workVectors[static_cast<int32_t>(WorkVector::SymbolIndices)].data);
  const auto symbols = std::span(symbolIndices, static_cast<std::size_t>(symbolCount));

  if (parameters.inputType == codeOf(InputType::Bit)) {
    const bool gray = parameters.bitToSymbolMapping == codeOf(BitToSymbolMapping::Gray);
    if (!mapBits(input, k, gray, symbols)) {
      dxpSetErrorStatus(record, kInputNotBinary);
    }
  } else if (parameters.inputType == codeOf(InputType::Integer)) {
    // As a double, so that no M makes M - 1 overflow.
    const double largestSymbol = static_cast<double>(parameters.mAryNumber) - 1.0;
    if (!mapIntegers(input, largestSymbol, symbols)) {
      dxpSetErrorStatus(record, kInputOutOfRange);
    }
  } else {
    dxpSetErrorStatus(record, kInvalidInputType);
  }
}

}  // namespace quenvarith
