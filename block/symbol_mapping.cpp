#include "block/symbol_mapping.h"

#include <cmath>

#include "block/parameters.h"

namespace quenvarith {

int32_t bitsPerSymbol(int32_t mAryNumber) {
  int exponent = 0;
  std::frexp(static_cast<double>(mAryNumber), &exponent);
  return exponent - 1;
}

int32_t symbolsPerFrame(int32_t inputType, int32_t inputWidth, int32_t bitsPerSymbol) {
  if (inputType == static_cast<int32_t>(InputType::Integer)) return inputWidth;
  // Validation admits no M below 2, so k is at least 1 in a run; a record that was never
  // validated gets no symbols rather than a division by zero.
  if (bitsPerSymbol <= 0) return 0;
  return inputWidth / bitsPerSymbol;
}

SymbolLayout deriveSymbolLayout(const DxpBlockRecord* record, int32_t inputWidth) {
  const int32_t k = bitsPerSymbol(parameterInteger(record, Parameter::MAryNumber));
  return {k, symbolsPerFrame(parameterInteger(record, Parameter::InputType), inputWidth, k)};
}

SymbolLayout deriveSymbolLayout(const DxpBlockRecord* record) {
  return deriveSymbolLayout(record, record->inputPorts[0].width);
}

void mapInputToSymbols(DxpBlockRecord* /*record*/) {}

}  // namespace quenvarith
