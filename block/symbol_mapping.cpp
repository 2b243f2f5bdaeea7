#include "block/symbol_mapping.h"

namespace quenvarith {

int32_t bitsPerSymbol(int32_t /*mAryNumber*/) {
  return 1;
}
int32_t symbolsPerFrame(int32_t /*inputType*/, int32_t /*inputWidth*/, int32_t /*bitsPerSymbol*/) {
  return 0;
}
SymbolLayout deriveSymbolLayout(const DxpBlockRecord* /*record*/) {
  return {1, 0};
}
SymbolLayout deriveSymbolLayout(const DxpBlockRecord* /*record*/, int32_t /*inputWidth*/) {
  return {1, 0};
}
void mapInputToSymbols(DxpBlockRecord* /*record*/) {}

}  // namespace quenvarith
