// Block records built in memory for tests: ports, parameters and the six work vectors, declared
// the way the block sizes them and allocated the way a host does before a run.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "block/conversion.h"
#include "block/work_vectors.h"
#include "host/block_record.h"
#include "host/host_block.h"

namespace quenvarith::testing {

// What a prepared record looks like. Widths are given, not derived, so that a test states the
// layout it expects.
struct RecordLayout {
  host::ParameterValues parameters;
  int32_t inputWidth = 1;
  int32_t symbolsPerFrame = 1;
  DxpFrameFlag frameFlag = DXP_FRAME_YES;
  double inputSampleTime = 1.0;
};

inline int32_t integerOf(double parameter) {
  return truncateToInt32(parameter);
}

// Declares the six work vectors: symbolIndices and sampleBuffer per symbol, phase, phaseStep
// and tonePhase per tone, sampleCounter.
inline void declareWorkVectors(DxpBlockRecord* record, int32_t symbolsPerFrame,
                               int32_t samplesPerSymbol, int32_t mAryNumber) {
  struct Declaration {
    WorkVector vector;
    int32_t width;
    DxpDataType type;
    DxpComplexity complexity;
  };
  const std::array<Declaration, kWorkVectorCount> declarations{{
      {WorkVector::SymbolIndices, symbolsPerFrame, DXP_TYPE_INT32, DXP_REAL},
      {WorkVector::SampleBuffer, symbolsPerFrame * samplesPerSymbol, DXP_TYPE_DOUBLE, DXP_COMPLEX},
      {WorkVector::Phase, 1, DXP_TYPE_DOUBLE, DXP_REAL},
      {WorkVector::PhaseStep, mAryNumber, DXP_TYPE_DOUBLE, DXP_REAL},
      {WorkVector::TonePhase, mAryNumber, DXP_TYPE_DOUBLE, DXP_REAL},
      {WorkVector::SampleCounter, 1, DXP_TYPE_INT32, DXP_REAL},
  }};
  record->numWorkVectors = kWorkVectorCount;
  for (const Declaration& declaration : declarations) {
    DxpWorkVector& target = record->workVectors[static_cast<int32_t>(declaration.vector)];
    target.width = declaration.width;
    target.dataType = declaration.type;
    target.complexity = declaration.complexity;
  }
}

// Fills `host`'s record as propagation and set-up would leave it, then allocates the run
// storage: input port 0 real, output port 0 complex with symbolsPerFrame × N samples
// (frame-based) or one (sample-based). Sample-time index 0 (input) and 1 (output) map to tasks
// 0 and 1, both hit.
inline void prepareRecord(host::HostBlock& host, const RecordLayout& layout) {
  const int32_t samplesPerSymbol = integerOf(layout.parameters.samplesPerSymbol);
  host.setParameters(layout.parameters);
  host.createPorts(1, 1);
  DxpInputPort& input = host.inputPort();
  input.width = layout.inputWidth;
  input.numDims = 1;
  input.sampleTime = layout.inputSampleTime;
  input.offset = 0.0;
  host.setInputFrameFlag(layout.frameFlag);
  DxpOutputPort& output = host.outputPort();
  output.width = layout.frameFlag == DXP_FRAME_NO ? 1 : layout.symbolsPerFrame * samplesPerSymbol;
  output.numDims = 1;
  output.complexity = DXP_COMPLEX;
  declareWorkVectors(host.record(), layout.symbolsPerFrame, samplesPerSymbol,
                     integerOf(layout.parameters.mAryNumber));
  host.setSampleTimeTasks({0, 1}, 2);
  const std::array<int32_t, 2> bothHit{1, 1};
  host.setHits(bothHit);
  std::string message;
  ASSERT_TRUE(host.allocateRunStorage(&message)) << message;
}

// Work vector `vector` of `host`'s record, typed.
template <typename T>
std::span<T> workVector(host::HostBlock& host, WorkVector vector) {
  return host.workVector<T>(static_cast<int>(vector));
}

}  // namespace quenvarith::testing
