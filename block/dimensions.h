// Port dimension propagation: checking offered dimensions and settling the other port.
#pragma once

#include <cstdint>
#include <optional>

#include "host/block_record.h"

namespace quenvarith {

void mdlSetInputPortDimensionInfo(DxpBlockRecord* record, int32_t port,
                                  const DxpDimsInfo* dimsInfo);
void mdlSetOutputPortDimensionInfo(DxpBlockRecord* record, int32_t port,
                                   const DxpDimsInfo* dimsInfo);

// Each hands the host's port-dimension operation a record it builds, and returns the
// operation's result (1 when the host offers none).
int32_t setInputPortVectorDims(DxpBlockRecord* record, int32_t port, int32_t width);
int32_t setOutputPortVectorDims(DxpBlockRecord* record, int32_t port, int32_t width);
int32_t setInputPortMatrixDims(DxpBlockRecord* record, int32_t port, int32_t rows, int32_t columns);
int32_t setOutputPortMatrixDims(DxpBlockRecord* record, int32_t port, int32_t rows,
                                int32_t columns);

// ---- The derivations behind the two methods, free of any record ----

// An offer as the addressed port holds it once the host has stored it: the port's width and
// dimension count, and the offered record's rows and columns (1 column for a 1-D record).
struct PortOffer {
  int32_t width;
  int32_t numDims;
  int32_t rows;
  int32_t columns;
};

// What propagation reads of the dialog parameters.
struct SymbolSizes {
  bool integerInput;
  int32_t elementsPerSymbol;  // input values per symbol: k for bit input, 1 for integer input
  int32_t samplesPerSymbol;   // N
};

// A shape offered to a port still dynamic: a 1-D vector of `rows`, or a rows x columns matrix.
struct PortShape {
  int32_t numDims;
  int32_t rows;
  int32_t columns;  // 1 for a vector
  bool operator==(const PortShape&) const = default;
};

// What an offer to one port says about the other: the message refusing the offer, or the shape
// to offer the other port while it is dynamic and the dimensions it must have once it is sized
// (a dimension left empty is not compared).
struct OtherPort {
  const char* failure = nullptr;
  PortShape shape{};
  std::optional<int32_t> firstDimension;
  std::optional<int32_t> secondDimension;
};

// The output from an offer to the input. A frame flag still inherited gets the frame-based
// rules here.
OtherPort deriveOutputPort(const PortOffer& input, DxpFrameFlag inputFrame,
                           const SymbolSizes& sizes);
// The input from an offer to the output. Only a decided frame-based input counts here: an
// inherited flag gets the sample-based rules.
OtherPort deriveInputPort(const PortOffer& output, DxpFrameFlag inputFrame,
                          const SymbolSizes& sizes);

}  // namespace quenvarith
