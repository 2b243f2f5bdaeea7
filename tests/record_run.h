// A whole run of one block record the way a host drives it, step by step: the set-up call
// through dxpFunction on the host's record, propagation and run through the installed methods
// (or through flag calls), with input generated from a seed. Several runs can be stepped in
// any interleaving, on any threads, each on its own record.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "block/parameter_codes.h"
#include "block/symbol_mapping.h"
#include "host/dxp.h"
#include "host/host_block.h"

extern "C" void dxpFunction(int nlhs, VqArray* plhs[], int nrhs, const VqArray* prhs[]);

namespace quenvarith::testing {

struct RunConfig {
  host::ParameterValues parameters;
  bool frameBased = true;
  int32_t symbolsPerFrame = 16;  // frame-based only
  bool flagCalls = false;        // drive the methods through flag calls of dxpFunction
  uint64_t seed = 1;
};

class RecordRun {
 public:
  explicit RecordRun(const RunConfig& config) : config_(config), state_(config.seed) {}

  // Set-up call and propagation; an empty result means the run is ready to step.
  std::string start() {
    const host::ScopeActivation activation(block_.allocationScope());
    DxpBlockRecord* record = block_.record();
    block_.setParameters(config_.parameters);
    host::ArrayHandle reference = block_.makeRecordReference();
    host::ArrayHandle flag(vqCreateDoubleScalar(0.0));
    host::ArrayHandle empty(vqCreateDoubleMatrix(0, 0, VQ_REAL));
    std::array<const VqArray*, 4> prhs = {empty.get(), reference.get(), empty.get(), flag.get()};
    std::array<VqArray*, 1> plhs{};
    char raised[DXP_ERROR_MESSAGE_CAPACITY];
    if (dxpCallEntry(&dxpFunction, 1, plhs.data(), 4, prhs.data(), raised) != DXP_CALL_RETURNED) {
      return raised;
    }
    vqDestroyArray(plhs[0]);
    if (std::string status = takeStatus(); !status.empty()) {
      return status;
    }
    if (block_.inputPortCount() != 1) return "no input port declared";

    const SymbolLayout layout = deriveSymbolLayout(record, 0);
    const bool bitInput = config_.parameters.inputType == codeOf(InputType::Bit);
    const int32_t perSymbol = bitInput ? layout.bitsPerSymbol : 1;
    block_.setInputFrameFlag(config_.frameBased ? DXP_FRAME_YES : DXP_FRAME_NO);
    std::vector<int32_t> sizes;
    DxpDimsInfo offer{};
    if (config_.frameBased) {
      sizes = {config_.symbolsPerFrame * perSymbol, 1};
      offer = {sizes[0], 2, sizes.data(), 0};
    } else {
      sizes = {perSymbol};
      offer = {perSymbol, 1, sizes.data(), 0};
    }
    record->simInfo->argDimsInfo = &offer;
    record->sizes[DXP_WORD_CALL_ARGUMENT] = 0;
    if (config_.flagCalls) {
      flagCall(DXP_FLAG_SET_INPUT_PORT_DIMENSION_INFO);
    } else {
      record->methods.inputPortWidthOrDims.dimensionInfo(record, 0, &offer);
    }
    if (std::string status = takeStatus(); !status.empty()) {
      return status;
    }
    record->simInfo->argSampleTime = 1.0;
    record->simInfo->argOffset = 0.0;
    if (config_.flagCalls) {
      flagCall(DXP_FLAG_SET_INPUT_PORT_SAMPLE_TIME);
    } else {
      record->methods.inputPortSampleTime(record, 0, 1.0, 0.0);
    }
    if (std::string status = takeStatus(); !status.empty()) {
      return status;
    }
    config_.flagCalls ? flagCall(DXP_FLAG_DECLARE_SAMPLE_TIMES)
                      : record->methods.sampleTimes(record);
    if (std::string status = takeStatus(); !status.empty()) {
      return status;
    }
    config_.flagCalls ? flagCall(DXP_FLAG_SET_WORK_WIDTHS) : record->methods.workWidths(record);
    if (std::string status = takeStatus(); !status.empty()) {
      return status;
    }
    std::string message;
    if (!block_.allocateRunStorage(&message)) return message;
    config_.flagCalls ? flagCall(DXP_FLAG_INITIALIZE_CONDITIONS)
                      : record->methods.initialConditions(record);
    if (!config_.frameBased) block_.setSampleTimeTasks({1, 0}, 2);
    return takeStatus();
  }

  // One input frame (frame-based) or one input symbol's N output steps (sample-based); the
  // output samples are appended to output().
  void step() {
    const host::ScopeActivation activation(block_.allocationScope());
    DxpBlockRecord* record = block_.record();
    const bool bitInput = config_.parameters.inputType == codeOf(InputType::Bit);
    const auto mAry = static_cast<uint64_t>(config_.parameters.mAryNumber);
    for (double& value : block_.inputSignal()) {
      value = static_cast<double>(bitInput ? next() % 2 : next() % mAry);
    }
    const int32_t outputSteps =
        config_.frameBased ? 1 : static_cast<int32_t>(config_.parameters.samplesPerSymbol);
    for (int32_t i = 0; i < outputSteps; ++i) {
      const std::array<int32_t, 2> hits = {1, i == 0 ? 1 : 0};
      block_.setHits(hits);
      config_.flagCalls ? flagCall(DXP_FLAG_COMPUTE_OUTPUTS) : record->methods.outputs(record, 0);
      const std::span<const double> samples = block_.outputSignal();
      output_.insert(output_.end(), samples.begin(), samples.end());
    }
    status_ = takeStatus();
  }

  const std::vector<double>& output() const { return output_; }
  const std::string& status() const { return status_; }
  host::HostBlock& block() { return block_; }

 private:
  void flagCall(DxpFlag flag) {
    host::ArrayHandle flagArgument(vqCreateDoubleScalar(static_cast<double>(flag)));
    host::ArrayHandle empty(vqCreateDoubleMatrix(0, 0, VQ_REAL));
    std::array<const VqArray*, 4> prhs = {empty.get(), empty.get(), empty.get(),
                                          flagArgument.get()};
    std::array<VqArray*, 2> plhs = {nullptr, reinterpret_cast<VqArray*>(block_.record())};
    dxpCallEntry(&dxpFunction, -1, plhs.data(), 4, prhs.data(), nullptr);
  }

  std::string takeStatus() {
    const char* status = dxpGetErrorStatus(block_.record());
    dxpSetErrorStatus(block_.record(), nullptr);
    return status != nullptr ? status : "";
  }

  // A small generator of its own, so that the input depends on the seed alone.
  uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_ >> 11;
  }

  RunConfig config_;
  host::HostBlock block_;
  uint64_t state_;
  std::vector<double> output_;
  std::string status_;
};

}  // namespace quenvarith::testing
