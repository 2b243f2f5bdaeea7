// One run of a loaded block, as our host drives it: the set-up call, propagation of the input's
// dimensions and sample time, sample times, work vectors, initial conditions, then the run loop
// that streams input values in and complex samples out, and the end of the run.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "engine/block_caller.h"
#include "engine/plugin_library.h"
#include "engine/timing.h"
#include "host/host_block.h"

namespace quenvarith::engine {

struct RunSettings {
  host::ParameterValues parameters;
  SignalMode signal = SignalMode::Frame;
  // Input values per frame in frame mode; 0 takes the values of one symbol, or of
  // kDefaultSymbolsPerFrame symbols when the rate is given in hertz.
  int32_t frameSize = 0;
  // Offered to the input port: the frame period in frame mode, the symbol period otherwise.
  // Unused when the rate is given in hertz.
  double sampleTime = 1.0;
  Rate rate;
  Dispatch dispatch = Dispatch::Table;
};

// Input values that make one symbol: log2 M bits for bit input, one integer otherwise.
int32_t valuesPerSymbol(const host::ParameterValues& parameters);

// The shape of the signals once set-up has settled them.
struct SignalLayout {
  int32_t inputWidth = 0;     // values read at every input hit
  int32_t outputWidth = 0;    // complex samples written at every step
  int32_t stepsPerInput = 1;  // steps per input hit: 1 frame-based, N sample-based
  int32_t valuesPerSymbol = 1;
  int32_t samplesPerSymbol = 1;
  // Seconds between output samples as the block's sample times give it.
  double outputSamplePeriod = 0.0;
  // The rates of the run: from the rate in hertz where one was given, else from the sample
  // times the block settled.
  double sampleRate = 0.0;
  double symbolRate = 0.0;
};

enum class ReadResult { Filled, End, Failed };

// Where the run's input values come from, one step's worth at a time.
class InputSource {
 public:
  InputSource() = default;
  InputSource(const InputSource&) = delete;
  InputSource& operator=(const InputSource&) = delete;
  InputSource(InputSource&&) = delete;
  InputSource& operator=(InputSource&&) = delete;
  virtual ~InputSource() = default;
  // Fills all of `values`; End when the input has no value left, Failed (with `error()`) on bad
  // input, an incomplete last step included.
  virtual ReadResult read(std::span<double> values) = 0;
  [[nodiscard]] virtual const std::string& error() const = 0;
};

// Where the run's output goes: complex samples as interleaved real and imaginary parts.
class OutputSink {
 public:
  OutputSink() = default;
  OutputSink(const OutputSink&) = delete;
  OutputSink& operator=(const OutputSink&) = delete;
  OutputSink(OutputSink&&) = delete;
  OutputSink& operator=(OutputSink&&) = delete;
  virtual ~OutputSink() = default;
  // False (with `error()`) when the samples could not be written.
  virtual bool write(std::span<const double> samples) = 0;
  [[nodiscard]] virtual const std::string& error() const = 0;
};

// Told now and then how far a run has got.
class ProgressObserver {
 public:
  ProgressObserver() = default;
  ProgressObserver(const ProgressObserver&) = delete;
  ProgressObserver& operator=(const ProgressObserver&) = delete;
  ProgressObserver(ProgressObserver&&) = delete;
  ProgressObserver& operator=(ProgressObserver&&) = delete;
  virtual ~ProgressObserver() = default;
  virtual void progress(uint64_t samplesWritten) = 0;
};

// A request to stop a run at its next step boundary. A signal handler or another thread sets
// the flag it reads, which is therefore a lock-free atomic.
class StopToken {
 public:
  StopToken() = default;
  explicit StopToken(const std::atomic<int>& flag) : flag_(&flag) {}
  [[nodiscard]] bool requested() const {
    return flag_ != nullptr && flag_->load(std::memory_order_relaxed) != 0;
  }

 private:
  const std::atomic<int>* flag_ = nullptr;
};

enum class Outcome {
  Completed,
  BlockError,  // the block reported or raised an error
  HostError,   // the block declared something this host cannot run
  // The sample times settled are ones this host cannot run: not positive and finite, not in a
  // whole ratio, or giving output samples so close that their rate is not a finite number.
  SampleTimeError,
  SettingsError,  // the settings give no usable run (a rate in hertz without a usable period)
  InputError,     // the input was not usable
  OutputError,    // the output could not be written
  Interrupted,    // a stop was requested
};

struct RunResult {
  Outcome outcome = Outcome::Completed;
  std::string message;
  uint64_t samplesWritten = 0;
  // The step, counted from 1, whose outputs the block failed to compute.
  std::optional<uint64_t> failedStep;

  [[nodiscard]] bool ok() const { return outcome == Outcome::Completed; }
};

// What one call of the step interface did.
struct StepResult {
  Outcome outcome = Outcome::Completed;
  std::string message;
  size_t valuesTaken = 0;     // input values consumed, those now held included
  size_t samplesWritten = 0;  // complex samples written to the caller's buffer

  [[nodiscard]] bool ok() const { return outcome == Outcome::Completed; }
};

class Simulation {
 public:
  // The plug-in must be open and outlive the simulation.
  Simulation(const PluginLibrary& plugin, const RunSettings& settings);
  // A block reached through its entry point, loaded under `blockName`.
  Simulation(DxpEntryPoint entry, std::string blockName, const RunSettings& settings);
  Simulation(const Simulation&) = delete;
  Simulation& operator=(const Simulation&) = delete;
  Simulation(Simulation&&) = delete;
  Simulation& operator=(Simulation&&) = delete;
  ~Simulation();

  // Everything before the first step. Afterwards `layout()` is valid.
  RunResult setUp();
  [[nodiscard]] const SignalLayout& layout() const { return layout_; }

  // Runs until the input ends, something fails or `stop` is requested, then ends the run. The
  // output holds every sample of every step completed before a failing one or the request, and
  // none of the failing step's.
  RunResult run(InputSource& input, OutputSink& output, ProgressObserver* observer = nullptr,
                StopToken stop = {});

  // The step interface, for callers that hold the input and the output themselves. `feed`
  // takes values and runs every step they complete, writing each step's samples (interleaved
  // real and imaginary parts) to `samples`; it stops before a step whose samples do not fit,
  // and keeps values that do not complete a step for the next call. After a failure the run
  // has ended: `samples` holds the samples of every step completed before the failing one.
  StepResult feed(std::span<const double> values, std::span<double> samples);
  // Ends the run. Held values that do not complete a step are an input error unless `pad`;
  // padded, the step is completed with zeros and only the samples of symbols that carry input
  // are written. `samples` needs room for one step (`stepSampleCount()`).
  StepResult finish(std::span<double> samples, bool pad);
  // Input values held that do not yet complete a step.
  [[nodiscard]] size_t heldValues() const { return held_; }
  // Complex samples one input step writes: the output of every step up to the next input.
  [[nodiscard]] size_t stepSampleCount() const;
  // Complex samples that `values` more input values (with those held) would write.
  [[nodiscard]] uint64_t samplesFor(uint64_t values) const;
  [[nodiscard]] bool running() const { return ready_; }

  host::HostBlock& block() { return block_; }

 private:
  RunResult callerFailure() const;
  RunResult settleLayout();
  double declaredStorageBytes();
  // The input's hit as a step of a sample-based run has it, set where it changes.
  void setInputHit(bool inputHit);
  // One output step: the input's hit set where it changes, then the block's outputs.
  bool computeStep(bool inputHit);
  // Runs the steps of one input (the input port filled): one step frame-based, N sample-based.
  // Writes their samples to `samples` and returns how many doubles; on a failure, those of the
  // steps before it, with the failure in `failure`.
  size_t runInputSteps(std::span<double> samples, RunResult& failure);
  // What running one input in place wrote, in doubles, and whether it went well.
  struct InputRun {
    size_t doubles;
    bool ok;
  };
  // The whole inputs in `values` past `valuesTaken`, each read where it lies, their samples
  // written to `samples` past `written` by `runInput(out, doubles)`, as many as both hold.
  // Advances both counts; false once an input fails (its values count as taken).
  template <typename RunInput>
  bool runInPlace(std::span<const double> values, std::span<double> samples, size_t& valuesTaken,
                  size_t& written, RunInput runInput);
  // The whole steps of a frame-based run, through runInPlace: one call of the block per step
  // and nothing else, each step's samples written straight to `samples`. False, with
  // `failure`, once a step fails.
  bool runWholeSteps(std::span<const double> values, std::span<double> samples, size_t& valuesTaken,
                     size_t& written, RunResult& failure);
  // The same for a sample-based run: each whole input's N steps, their samples copied to
  // `samples` as they come.
  bool runWholeInputs(std::span<const double> values, std::span<double> samples,
                      size_t& valuesTaken, size_t& written, RunResult& failure);
  StepResult endRun(StepResult result);

  RunSettings settings_;
  host::HostBlock block_;
  BlockCaller caller_;
  SignalLayout layout_;
  TimingPlan timing_;
  std::array<int32_t, 2> hits_{1, 1};
  size_t held_ = 0;
  bool ready_ = false;
};

}  // namespace quenvarith::engine
