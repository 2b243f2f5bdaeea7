#include "simulation.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "block/conversion.h"
#include "block/parameter_codes.h"

namespace quenvarith::engine {

namespace {

// The samples of a short step are a few cache lines which, in a driver that writes on another
// thread, that thread read last: a step asks for those of a later step for writing, so that
// their ownership has arrived by the time the block writes them. Longer steps write whole runs
// of lines, which the processor fetches ahead by itself.
constexpr size_t kPrefetchSteps = 8;
constexpr size_t kPrefetchedStepDoubles = 32;  // 256 bytes
constexpr size_t kCacheLineDoubles = 8;

// One step's samples to `target`. A sample-based step writes one complex sample: two stores
// rather than a call of memcpy for sixteen bytes.
void copyStepSamples(std::span<const double> step, double* target) {
  if (step.size() == 2) [[likely]] {
    target[0] = step[0];
    target[1] = step[1];
    return;
  }
  std::copy(step.begin(), step.end(), target);
}

void prefetchForWriting(std::span<const double> samples) {
#if defined(__GNUC__)
  for (size_t offset = 0; offset < samples.size(); offset += kCacheLineDoubles) {
    __builtin_prefetch(samples.data() + offset, 1, 3);
  }
#else
  (void)samples;
#endif
}

constexpr int32_t kPort = 0;
constexpr int32_t kBaseTask = 0;
// How far the ratio of the two sample times may stray from a whole number, relatively.
constexpr double kRateTolerance = 1e-9;
// Steps between two progress reports.
constexpr uint64_t kProgressInterval = 4096;
// The most a run's work vectors and port signals may take together.
constexpr double kBytesPerMebibyte = 1024.0 * 1024.0;
constexpr double kMaxRunStorageBytes = 1024.0 * kBytesPerMebibyte;

// Bytes of `count` elements, complex ones taking two; in double so nothing overflows.
double elementBytes(int32_t count, int32_t complexity, int32_t dataType) {
  const double size = dataType == DXP_TYPE_INT32 ? sizeof(int32_t) : sizeof(double);
  return static_cast<double>(count) * (complexity != 0 ? 2.0 : 1.0) * size;
}

RunResult hostFailure(std::string message) {
  return {Outcome::HostError, std::move(message), 0, std::nullopt};
}

RunResult sampleTimeFailure(std::string message) {
  return {Outcome::SampleTimeError, std::move(message), 0, std::nullopt};
}

// The shortest text that reads back as `value`.
std::string shortest(double value) {
  std::array<char, 32> text{};
  return {text.data(), std::to_chars(text.data(), text.data() + text.size(), value).ptr};
}

}  // namespace

int32_t valuesPerSymbol(const host::ParameterValues& parameters) {
  if (truncateToInt32(parameters.inputType) == codeOf(InputType::Integer)) {
    return 1;
  }
  int exponent = 0;
  std::frexp(static_cast<double>(truncateToInt32(parameters.mAryNumber)), &exponent);
  return exponent > 1 ? exponent - 1 : 1;
}

Simulation::Simulation(const PluginLibrary& plugin, const RunSettings& settings)
    : Simulation(plugin.entryPoint(), plugin.blockName(), settings) {}

Simulation::Simulation(DxpEntryPoint entry, std::string blockName, const RunSettings& settings)
    : settings_(settings), block_(std::move(blockName)), caller_(entry, block_, settings.dispatch) {
  block_.setParameters(settings.parameters);
}

Simulation::~Simulation() {
  // A run left while still going is ended as a host ends one.
  if (ready_) {
    (void)caller_.finish();
  }
}

RunResult Simulation::callerFailure() const {
  return {caller_.hostError() ? Outcome::HostError : Outcome::BlockError, caller_.error(), 0,
          std::nullopt};
}

RunResult Simulation::setUp() {
  const host::ScopeActivation scope(block_.allocationScope());
  if (!caller_.setUp()) {
    return callerFailure();
  }

  // The parameters passed the block's checks: N and the values of a symbol are what it uses.
  const bool frameBased = settings_.signal == SignalMode::Frame;
  const int32_t symbolValues = valuesPerSymbol(settings_.parameters);
  const int32_t samplesPerSymbol = truncateToInt32(settings_.parameters.samplesPerSymbol);
  std::string timingError;
  if (!planTiming({settings_.signal, settings_.frameSize, settings_.sampleTime, settings_.rate,
                   symbolValues, samplesPerSymbol},
                  timing_, timingError)) {
    return {Outcome::SettingsError, timingError, 0, std::nullopt};
  }
  layout_.valuesPerSymbol = symbolValues;
  layout_.samplesPerSymbol = samplesPerSymbol;

  // The source offers the input its dimensions, then its sample time.
  block_.setInputFrameFlag(frameBased ? DXP_FRAME_YES : DXP_FRAME_NO);
  if (frameBased) {
    const int32_t rows = timing_.frameSize;
    std::array<int32_t, 2> sizes{rows, 1};
    const DxpDimsInfo column{rows, 2, sizes.data(), 0};
    if (!caller_.setInputPortDimensionInfo(kPort, column)) {
      return callerFailure();
    }
  } else {
    int32_t width = symbolValues;
    const DxpDimsInfo vector{width, 1, &width, 0};
    if (!caller_.setInputPortDimensionInfo(kPort, vector)) {
      return callerFailure();
    }
  }
  if (!caller_.setInputPortSampleTime(kPort, timing_.inputSampleTime, 0.0)) {
    return callerFailure();
  }
  if (!caller_.declareSampleTimes() || !caller_.setWorkWidths()) {
    return callerFailure();
  }

  const double storageBytes = declaredStorageBytes();
  if (storageBytes > kMaxRunStorageBytes) {
    return hostFailure(
        "the block asks for " +
        std::to_string(truncateTo<uint64_t>(storageBytes / kBytesPerMebibyte)) +
        " MiB of work vectors and signals, more than this host's limit of " +
        std::to_string(truncateTo<uint64_t>(kMaxRunStorageBytes / kBytesPerMebibyte)) + " MiB");
  }
  std::string message;
  if (!block_.allocateRunStorage(&message)) {
    return hostFailure("cannot allocate what the block declared: " + message);
  }
  RunResult settled = settleLayout();
  if (!settled.ok()) {
    return settled;
  }
  if (!caller_.initializeConditions()) {
    return callerFailure();
  }
  ready_ = true;
  return {};
}

double Simulation::declaredStorageBytes() {
  const DxpBlockRecord& record = *block_.record();
  double bytes = 0.0;
  for (int32_t i = 0; i < record.numWorkVectors && i < DXP_MAX_WORK_VECTORS; ++i) {
    const DxpWorkVector& vector = record.workVectors[i];
    bytes += elementBytes(vector.width, vector.complexity, vector.dataType);
  }
  const DxpInputPort& input = block_.inputPort(kPort);
  const DxpOutputPort& output = block_.outputPort(kPort);
  bytes += elementBytes(input.width, DXP_REAL, DXP_TYPE_DOUBLE);
  bytes += elementBytes(output.width, output.complexity, DXP_TYPE_DOUBLE);
  return bytes;
}

RunResult Simulation::settleLayout() {
  const DxpInputPort& input = block_.inputPort(kPort);
  const DxpOutputPort& output = block_.outputPort(kPort);
  if (output.complexity != DXP_COMPLEX) {
    return hostFailure("the block's output is not complex");
  }
  if (input.width < 1 || output.width < 1) {
    return hostFailure("the block settled an input or output port without elements");
  }
  const double inputPeriod = input.sampleTime;
  const double outputPeriod = output.sampleTime;
  if (!(std::isfinite(inputPeriod) && inputPeriod > 0.0 && std::isfinite(outputPeriod) &&
        outputPeriod > 0.0)) {
    return sampleTimeFailure("the sample times must be positive and finite (input " +
                             shortest(inputPeriod) + " s, output " + shortest(outputPeriod) +
                             " s)");
  }
  // The output port sets the base rate; the input has a hit every so many steps.
  const double ratio = inputPeriod / outputPeriod;
  const double steps = std::round(ratio);
  if (steps < 1.0 || !isExactInt32(steps) || std::fabs(ratio - steps) > kRateTolerance * steps) {
    return sampleTimeFailure("the input's sample time is not a whole multiple of the output's");
  }
  // Recordings give every sample's time and the sample rate: both must be numbers.
  const double samplePeriod = outputPeriod / output.width;
  if (!(samplePeriod > 0.0 && std::isfinite(1.0 / samplePeriod))) {
    return sampleTimeFailure("the input's sample time of " + shortest(inputPeriod) +
                             " s puts output samples " + shortest(samplePeriod) +
                             " s apart, a sample rate that is not a finite number");
  }
  layout_.inputWidth = input.width;
  layout_.outputWidth = output.width;
  layout_.stepsPerInput = truncateToInt32(steps);
  layout_.outputSamplePeriod = samplePeriod;
  if (settings_.rate.kind != RateKind::None) {
    layout_.sampleRate = timing_.sampleRate;
    layout_.symbolRate = timing_.symbolRate;
  } else {
    layout_.sampleRate = 1.0 / layout_.outputSamplePeriod;
    layout_.symbolRate = layout_.sampleRate / layout_.samplesPerSymbol;
  }

  if (layout_.stepsPerInput == 1) {
    block_.setSampleTimeTasks({kBaseTask, kBaseTask}, 1);
  } else {
    // Input port (index 0) on the slower task 1, output port (index 1) on the base task 0.
    block_.setSampleTimeTasks({1, kBaseTask}, 2);
  }
  hits_ = {1, 1};  // every task hit; the steps change the input's hit as they go
  block_.setHits(hits_);
  block_.setTimeStepKind(DXP_MAJOR_TIME_STEP);
  return {};
}

RunResult Simulation::run(InputSource& input, OutputSink& output, ProgressObserver* observer,
                          StopToken stop) {
  if (!ready_) {
    return hostFailure("the run was not set up");
  }
  ready_ = false;
  const host::ScopeActivation scope(block_.allocationScope());
  const std::span<double> inputValues = block_.inputSignal();
  const std::span<const double> outputValues = block_.outputSignal();
  const int32_t stepsPerInput = layout_.stepsPerInput;
  const auto samplesPerStep = static_cast<uint64_t>(layout_.outputWidth);

  RunResult result;
  uint64_t written = 0;
  int32_t stepsSinceInput = 0;
  uint64_t steps = 0;
  const RunResult interrupted{Outcome::Interrupted, "the run was asked to stop", 0, std::nullopt};
  for (;;) {
    if (stop.requested()) {
      result = interrupted;
      break;
    }
    const bool inputHit = stepsSinceInput == 0;
    if (inputHit) {
      const ReadResult read = input.read(inputValues);
      if (read == ReadResult::End) {
        break;
      }
      if (read == ReadResult::Failed) {
        // A read that the request cut short is the request, not bad input.
        result = stop.requested() ? interrupted
                                  : RunResult{Outcome::InputError, input.error(), 0, std::nullopt};
        break;
      }
    }
    if (!computeStep(inputHit)) {
      result = callerFailure();
      result.failedStep = steps + 1;
      break;
    }
    if (!output.write(outputValues)) {
      result = {Outcome::OutputError, output.error(), 0, std::nullopt};
      break;
    }
    written += samplesPerStep;
    if (++stepsSinceInput == stepsPerInput) {
      stepsSinceInput = 0;
    }
    if (++steps % kProgressInterval == 0 && observer != nullptr) {
      observer->progress(written);
    }
  }
  if (!caller_.finish() && result.ok()) {
    result = callerFailure();
  }
  result.samplesWritten = written;
  if (observer != nullptr) {
    observer->progress(written);
  }
  return result;
}

// Inline: every step of a sample-based run makes this call.
inline void Simulation::setInputHit(bool inputHit) {
  const int32_t hit = inputHit ? 1 : 0;
  if (hits_[1] != hit) {
    hits_[1] = hit;
    block_.setHit(1, hit);
  }
}

inline bool Simulation::computeStep(bool inputHit) {
  // The input's hit changes at an input step and at the step after it only.
  if (layout_.stepsPerInput > 1) {
    setInputHit(inputHit);
  }
  return caller_.computeOutputs(kBaseTask);
}

size_t Simulation::stepSampleCount() const {
  return static_cast<size_t>(layout_.outputWidth) * static_cast<size_t>(layout_.stepsPerInput);
}

uint64_t Simulation::samplesFor(uint64_t values) const {
  if (layout_.inputWidth < 1) {
    return 0;
  }
  const uint64_t steps = (held_ + values) / static_cast<uint64_t>(layout_.inputWidth);
  return steps * stepSampleCount();
}

// Inline: a sample-based feed makes this call for every input.
[[gnu::always_inline]] inline size_t Simulation::runInputSteps(std::span<double> samples,
                                                               RunResult& failure) {
  const std::span<const double> outputValues = block_.outputSignal();
  // The count in a local: the block is called through a pointer, so a member would be read
  // again after every step.
  const int32_t steps = layout_.stepsPerInput;
  size_t written = 0;
  for (int32_t step = 0; step < steps; ++step) {
    // The input's hit changes at an input step and at the step after it only.
    if (step < 2 && steps > 1) [[unlikely]] {
      setInputHit(step == 0);
    }
    if (!caller_.computeOutputs(kBaseTask)) [[unlikely]] {
      failure = callerFailure();
      return written;
    }
    copyStepSamples(outputValues, samples.data() + written);
    written += outputValues.size();
  }
  return written;
}

StepResult Simulation::endRun(StepResult result) {
  ready_ = false;
  if (!caller_.finish() && result.ok()) {
    const RunResult failure = callerFailure();
    result.outcome = failure.outcome;
    result.message = failure.message;
  }
  return result;
}

StepResult Simulation::feed(std::span<const double> values, std::span<double> samples) {
  StepResult result;
  if (!ready_) {
    result.outcome = Outcome::HostError;
    result.message = "the run is not set up or has ended";
    return result;
  }
  const host::ScopeActivation scope(block_.allocationScope());
  const std::span<double> port = block_.inputSignal();
  const size_t stepDoubles = 2 * stepSampleCount();
  size_t written = 0;
  RunResult failure;  // once, not per step: it holds a string
  // A failed step ends the run, with the steps before it written.
  const auto failed = [&] {
    result.outcome = failure.outcome;
    result.message = std::move(failure.message);
    result.samplesWritten = written / 2;
    return endRun(std::move(result));
  };
  while (result.valuesTaken < values.size()) {
    if (held_ == 0 && !port.empty()) {
      const bool whole =
          layout_.stepsPerInput == 1
              ? runWholeSteps(values, samples, result.valuesTaken, written, failure)
              : runWholeInputs(values, samples, result.valuesTaken, written, failure);
      if (!whole) {
        return failed();
      }
      if (result.valuesTaken == values.size()) {
        break;
      }
    }
    const std::span<const double> rest = values.subspan(result.valuesTaken);
    const size_t missing = port.size() - held_;
    if (rest.size() < missing) {  // not a whole step: keep it in the port for the next call
      std::copy(rest.begin(), rest.end(), port.begin() + static_cast<ptrdiff_t>(held_));
      held_ += rest.size();
      result.valuesTaken = values.size();
      break;
    }
    if (samples.size() - written < stepDoubles) {
      break;
    }
    // A whole step in the caller's values is read where it lies; a step begun in an earlier
    // call is completed in the port.
    const bool inPlace = held_ == 0;
    if (inPlace) {
      block_.inputFrom(rest.data());
    } else {
      std::copy_n(rest.begin(), missing, port.begin() + static_cast<ptrdiff_t>(held_));
    }
    result.valuesTaken += missing;
    held_ = 0;
    written += runInputSteps(samples.subspan(written, stepDoubles), failure);
    if (inPlace) {
      block_.inputFromPortBuffer();
    }
    if (!failure.ok()) {
      return failed();
    }
  }
  result.samplesWritten = written / 2;
  return result;
}

template <typename RunInput>
bool Simulation::runInPlace(std::span<const double> values, std::span<double> samples,
                            size_t& valuesTaken, size_t& written, RunInput runInput) {
  const size_t inputValues = block_.inputSignal().size();
  const size_t inputDoubles = 2 * stepSampleCount();
  bool ran = true;
  if (values.size() - valuesTaken >= inputValues && samples.size() - written >= inputDoubles) {
    // Pointers in locals, as few as the loop needs: the block is called through a pointer, so
    // whatever the loop keeps in memory is stored and read again around every step.
    const double* next = values.data() + valuesTaken;
    const double* const lastInput = values.data() + (values.size() - inputValues);
    double* out = samples.data() + written;
    double* const lastOutput = samples.data() + (samples.size() - inputDoubles);
    const double* noInput = nullptr;  // a port the block lacks points nowhere that matters
    const double** input = block_.inputPortCount() > 0 ? &block_.inputPort().signal : &noInput;
    while (true) {
      *input = next;
      const InputRun done = runInput(out, inputDoubles);
      next += inputValues;  // a failed input has taken its values too
      out += done.doubles;
      if (!done.ok) [[unlikely]] {
        ran = false;
        break;
      }
      if (next > lastInput || out > lastOutput) {
        break;
      }
    }
    valuesTaken = static_cast<size_t>(next - values.data());
    written = static_cast<size_t>(out - samples.data());
  }
  block_.inputFromPortBuffer();
  return ran;
}

bool Simulation::runWholeSteps(std::span<const double> values, std::span<double> samples,
                               size_t& valuesTaken, size_t& written, RunResult& failure) {
  // Short steps fetch a later step's samples ahead, up to the last step that has one.
  const size_t stepDoubles = 2 * stepSampleCount();
  const size_t prefetchSpan = (kPrefetchSteps + 1) * stepDoubles;
  const bool prefetching = stepDoubles <= kPrefetchedStepDoubles && samples.size() >= prefetchSpan;
  double* const lastPrefetching =
      prefetching ? samples.data() + (samples.size() - prefetchSpan) : samples.data();
  double* noOutput = nullptr;  // a port the block lacks points nowhere that matters
  double** output = block_.outputPortCount() > 0 ? &block_.outputPort().signal : &noOutput;
  const bool ran = runInPlace(values, samples, valuesTaken, written,
                              [&](double* out, size_t doubles) -> InputRun {
                                if (prefetching && out <= lastPrefetching) {
                                  prefetchForWriting({out + kPrefetchSteps * doubles, doubles});
                                }
                                *output = out;
                                if (!caller_.computeOutputs(kBaseTask)) [[unlikely]] {
                                  return {0, false};
                                }
                                return {doubles, true};
                              });
  block_.outputToPortBuffer();
  if (!ran) {
    failure = callerFailure();
  }
  return ran;
}

bool Simulation::runWholeInputs(std::span<const double> values, std::span<double> samples,
                                size_t& valuesTaken, size_t& written, RunResult& failure) {
  return runInPlace(values, samples, valuesTaken, written,
                    [&](double* out, size_t doubles) -> InputRun {
                      const size_t done = runInputSteps({out, doubles}, failure);
                      return {done, failure.ok()};
                    });
}

StepResult Simulation::finish(std::span<double> samples, bool pad) {
  StepResult result;
  if (!ready_) {
    result.outcome = Outcome::HostError;
    result.message = "the run is not set up or has ended";
    return result;
  }
  if (held_ == 0) {
    return endRun(std::move(result));
  }
  const size_t held = held_;
  held_ = 0;
  const std::span<double> port = block_.inputSignal();
  if (!pad) {
    result.outcome = Outcome::InputError;
    result.message = "the input ends " + std::to_string(held) + " values into a step of " +
                     std::to_string(port.size()) + " values";
    return endRun(std::move(result));
  }
  const size_t stepDoubles = 2 * stepSampleCount();
  if (samples.size() < stepDoubles) {
    result.outcome = Outcome::HostError;
    result.message = "no room for the last step's samples";
    return endRun(std::move(result));
  }
  std::fill(port.begin() + static_cast<ptrdiff_t>(held), port.end(), 0.0);
  const host::ScopeActivation scope(block_.allocationScope());
  RunResult failure;
  const size_t written = runInputSteps(samples.first(stepDoubles), failure);
  if (!failure.ok()) {
    result.outcome = failure.outcome;
    result.message = std::move(failure.message);
    result.samplesWritten = written / 2;
    return endRun(std::move(result));
  }
  // Only the symbols that carry input, a partial one included; the padding symbols are not.
  const auto perSymbol = static_cast<size_t>(layout_.valuesPerSymbol);
  const size_t dataSymbols = (held + perSymbol - 1) / perSymbol;
  const size_t symbolsPerStep = port.size() / perSymbol;
  const size_t stepSamples = stepSampleCount();
  result.samplesWritten =
      symbolsPerStep > 0 ? std::min(stepSamples, dataSymbols * (stepSamples / symbolsPerStep)) : 0;
  return endRun(std::move(result));
}

}  // namespace quenvarith::engine
