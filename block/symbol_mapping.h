// Input values to symbol indices, and the two quantities every method sizes itself by.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "block/parameter_codes.h"
#include "block/parameters.h"
#include "host/block_record.h"

namespace quenvarith {

// floor(log2 M) for M >= 1, as one less than frexp's binary exponent of M. Inline, as
// symbolsPerFrame: a sample-based run asks for both at every step.
inline int32_t bitsPerSymbol(int32_t mAryNumber) {
  // floor(log2 M) without the library call where M is positive.
  if (mAryNumber > 0) {
    return static_cast<int32_t>(std::bit_width(static_cast<uint32_t>(mAryNumber))) - 1;
  }
  int exponent = 0;
  std::frexp(static_cast<double>(mAryNumber), &exponent);
  return exponent - 1;
}

// Symbols carried by one input vector of `inputWidth` values: one per value for integer input
// (input type 2), else one per whole group of `bitsPerSymbol` values. 0 when the division has
// no divisor.
inline int32_t symbolsPerFrame(int32_t inputType, int32_t inputWidth, int32_t bitsPerSymbol) {
  if (inputType == codeOf(InputType::Integer)) {
    return inputWidth;
  }
  // Validation admits no M below 2, so k is at least 1 in a run; a record that was never
  // validated gets no symbols rather than a division by zero.
  if (bitsPerSymbol <= 0) {
    return 0;
  }
  return inputWidth / bitsPerSymbol;
}

// The two derived from the dialog parameters and the input port's current width.
struct SymbolLayout {
  int32_t bitsPerSymbol;
  int32_t symbolsPerFrame;
};
SymbolLayout deriveSymbolLayout(const DxpBlockRecord* record);
// The same for a given input width (port propagation works on offered widths).
SymbolLayout deriveSymbolLayout(const DxpBlockRecord* record, int32_t inputWidth);

// The parameters the mapping depends on, as one call of the block read them.
struct MappingParameters {
  int32_t mAryNumber;
  int32_t inputType;
  int32_t bitToSymbolMapping;
};
// Inline, so that the three values stay in registers: a small record returned from a call is
// assembled in memory by narrow stores and reloaded wide, which stalls store forwarding.
inline MappingParameters readMappingParameters(const DxpBlockRecord* record) {
  return {parameterInteger(record, Parameter::MAryNumber),
          parameterInteger(record, Parameter::InputType),
          parameterInteger(record, Parameter::BitToSymbolMapping)};
}

// The layout of an input port `inputWidth` wide under `parameters`.
inline SymbolLayout symbolLayout(const MappingParameters& parameters, int32_t inputWidth) {
  const int32_t k = bitsPerSymbol(parameters.mAryNumber);
  return {k, symbolsPerFrame(parameters.inputType, inputWidth, k)};
}

// Maps the input port's values into the symbolIndices work vector.
void mapInputToSymbols(DxpBlockRecord* record);
// The same with the parameters the caller has read in this call already, and the layout of the
// input port it derived from them: a step reads each parameter once and divides once.
void mapInputToSymbols(DxpBlockRecord* record, const MappingParameters& parameters,
                       const SymbolLayout& layout);

}  // namespace quenvarith
