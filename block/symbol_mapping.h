// Input values to symbol indices, and the two quantities every method sizes itself by.
#pragma once

#include <cstdint>

#include "host/block_record.h"

namespace quenvarith {

// floor(log2 M) for M >= 1, as one less than frexp's binary exponent of M.
int32_t bitsPerSymbol(int32_t mAryNumber);

// Symbols carried by one input vector of `inputWidth` values: one per value for integer input
// (input type 2), else one per whole group of `bitsPerSymbol` values. 0 when the division has
// no divisor.
int32_t symbolsPerFrame(int32_t inputType, int32_t inputWidth, int32_t bitsPerSymbol);

// The two derived from the dialog parameters and the input port's current width.
struct SymbolLayout {
  int32_t bitsPerSymbol;
  int32_t symbolsPerFrame;
};
SymbolLayout deriveSymbolLayout(const DxpBlockRecord* record);
// The same for a given input width (port propagation works on offered widths).
SymbolLayout deriveSymbolLayout(const DxpBlockRecord* record, int32_t inputWidth);

// Maps the input port's values into the symbolIndices work vector.
void mapInputToSymbols(DxpBlockRecord* record);

}  // namespace quenvarith
