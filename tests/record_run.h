// A whole run of one block record, driven by the engine's simulation on the block linked into
// the test (dxpFunction): its set-up, then steps of input generated from a seed, through the
// installed methods or through flag calls. Several runs can be stepped in any interleaving, on
// any threads, each on its own record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "block/parameter_codes.h"
#include "engine/simulation.h"
#include "entry/entry.h"
#include "entry/texts.h"
#include "host/host_block.h"

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

  // The engine's set-up; an empty result means the run is ready to step.
  std::string start() {
    engine::RunSettings settings;
    settings.parameters = config_.parameters;
    settings.signal = config_.frameBased ? engine::SignalMode::Frame : engine::SignalMode::Sample;
    settings.frameSize = config_.symbolsPerFrame * engine::valuesPerSymbol(config_.parameters);
    settings.sampleTime = 1.0;
    settings.dispatch = config_.flagCalls ? engine::Dispatch::Flags : engine::Dispatch::Table;
    simulation_ = std::make_unique<engine::Simulation>(&dxpFunction, entry::kModuleName, settings);
    const engine::RunResult setUp = simulation_->setUp();
    if (!setUp.ok()) {
      return setUp.message;
    }
    input_.resize(static_cast<size_t>(simulation_->layout().inputWidth));
    samples_.resize(2 * simulation_->stepSampleCount());
    return {};
  }

  // One input frame (frame-based) or one input symbol's N output steps (sample-based); the
  // output samples are appended to output().
  void step() {
    const bool bitInput = config_.parameters.inputType == codeOf(InputType::Bit);
    const auto mAry = static_cast<uint64_t>(config_.parameters.mAryNumber);
    for (double& value : input_) {
      value = static_cast<double>(bitInput ? next() % 2 : next() % mAry);
    }
    const engine::StepResult result = simulation_->feed(input_, samples_);
    output_.insert(output_.end(), samples_.begin(),
                   samples_.begin() + static_cast<ptrdiff_t>(2 * result.samplesWritten));
    status_ = result.message;
  }

  const std::vector<double>& output() const { return output_; }
  const std::string& status() const { return status_; }

 private:
  // A small generator of its own, so that the input depends on the seed alone.
  uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_ >> 11;
  }

  RunConfig config_;
  std::unique_ptr<engine::Simulation> simulation_;
  uint64_t state_;
  std::vector<double> input_;
  std::vector<double> samples_;
  std::vector<double> output_;
  std::string status_;
};

}  // namespace quenvarith::testing
