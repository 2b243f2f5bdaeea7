// quenvarith-run: loads the modulator plug-in, runs it on input bits or symbols (read as numbers
// or bytes, from a message, or random) and writes the complex baseband samples.
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include "block/conversion.h"
#include "block/parameter_codes.h"
#include "block/tone_kernel/kernel_level.h"
#include "cli/options.h"
#include "cli/pipeline.h"
#include "cli/progress.h"
#include "cli/saved_input.h"
#include "cli/stop_signals.h"
#include "cli/summary.h"
#include "engine/input_sources.h"
#include "engine/modulation.h"
#include "engine/output_files.h"
#include "engine/output_formats.h"
#include "engine/plugin_library.h"
#include "engine/quoting.h"
#include "engine/simulation.h"

namespace {

using namespace quenvarith;

constexpr int kFailureExit = 1;
constexpr const char* kBlockName = "quenvarith";
constexpr const char* kRecorder = "quenvarith-run " QUENVARITH_VERSION;

std::filesystem::path programDirectory(const char* argv0) {
  std::error_code error;
#if defined(_WIN32)
  std::vector<char> name(MAX_PATH * 4);
  const DWORD length = GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size()));
  if (length > 0 && length < name.size()) {
    return std::filesystem::path(std::string(name.data(), length)).parent_path();
  }
#else
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    return self.parent_path();
  }
#endif
  return std::filesystem::absolute(argv0, error).parent_path();
}

// The plug-in beside the program, else the installed one, else the one of the build tree.
std::string defaultPlugin(const char* argv0) {
  const std::string file = engine::pluginFileName(kBlockName);
  const std::filesystem::path directory = programDirectory(argv0);
  std::vector<std::filesystem::path> candidates{directory / file};
#if defined(QUENVARITH_INSTALLED_PLUGIN_DIR)
  candidates.push_back(directory / ".." / QUENVARITH_INSTALLED_PLUGIN_DIR / file);
#endif
#if defined(QUENVARITH_BUILT_PLUGIN)
  candidates.emplace_back(QUENVARITH_BUILT_PLUGIN);
#endif
  for (const auto& candidate : candidates) {
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) {
      return candidate.string();
    }
  }
  return candidates.front().string();
}

// %.17g, as the text output prints numbers.
std::string formatNumber(double value) {
  constexpr int kSignificantDigits = 17;
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                    std::chars_format::general, kSignificantDigits);
  return {text.data(), result.ptr};
}

std::string describe(const engine::RunSettings& settings) {
  const host::ParameterValues& p = settings.parameters;
  return "M-FSK modulator output: MAryNumber=" + formatNumber(p.mAryNumber) +
         " InputType=" + formatNumber(p.inputType) +
         " BitToSymbolMapping=" + formatNumber(p.bitToSymbolMapping) +
         " FrequencySeparation=" + formatNumber(p.frequencySeparation) +
         " PhaseContinuity=" + formatNumber(p.phaseContinuity) +
         " SamplesPerSymbol=" + formatNumber(p.samplesPerSymbol) +
         " signal=" + (settings.signal == engine::SignalMode::Frame ? "frame" : "sample");
}

// The shortest text that reads back as `value`, as a person would have typed it.
std::string shortestNumber(double value) {
  std::array<char, 32> text{};
  return {text.data(), std::to_chars(text.data(), text.data() + text.size(), value).ptr};
}

// A file the run would write that is also one it reads, the input or the plug-in, which writing
// would destroy; or one written twice. Empty when there is none. Files are told apart by
// identity, so that links are seen through; writing to the same FIFO or device as the input
// destroys nothing and is let be.
std::string outputClash(const cli::RunOptions& options, const std::string& pluginPath) {
  struct NamedFile {
    std::optional<engine::FileIdentity> identity;
    std::string name;
  };
  std::vector<NamedFile> read;
  if (!options.randomSymbols && !options.message) {
    read.push_back(options.input == "-"
                       ? NamedFile{engine::standardInputIdentity(), "the input (standard input)"}
                       : NamedFile{engine::fileIdentity(options.input),
                                   "the input " + engine::quote(options.input)});
  }
  read.push_back({engine::fileIdentity(pluginPath), "the plug-in " + engine::quote(pluginPath)});
  std::vector<NamedFile> written;
  if (options.output == "-") {
    written.push_back({engine::standardOutputIdentity(), "standard output"});
  }
  for (const std::string& file : engine::outputFiles(options.format, options.output)) {
    written.push_back({engine::fileIdentity(file), "the output " + engine::quote(file)});
  }
  if (!options.saveInput.empty()) {
    written.push_back({engine::fileIdentity(options.saveInput),
                       "the saved input " + engine::quote(options.saveInput)});
  }
  for (size_t i = 0; i < written.size(); ++i) {
    const std::optional<engine::FileIdentity>& identity = written[i].identity;
    if (!identity || !identity->regular) {
      continue;
    }
    for (const NamedFile& other : read) {
      if (other.identity && other.identity->sameFile(*identity)) {
        return written[i].name + " is " + other.name;
      }
    }
    for (size_t j = i + 1; j < written.size(); ++j) {
      if (written[j].identity && written[j].identity->sameFile(*identity)) {
        return written[i].name + " and " + written[j].name + " are the same file";
      }
    }
  }
  return {};
}

// Messages carry what the block and the system say, which may hold any bytes: they are printed
// printable.
int failure(const std::string& message) {
  std::cerr << "error: " << engine::printable(message) << '\n';
  return kFailureExit;
}

int usageFailure(const std::string& message) {
  std::cerr << "usage error: " << engine::printable(message) << '\n';
  return cli::kUsageExit;
}

// Closes an input file on every path out.
struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file != nullptr && file != stdin) {
      (void)std::fclose(file);
    }
  }
};

// Input values read and samples written per chunk, at most: a whole number of steps, at least
// one. Every chunk wakes the workers once or twice, and a wake-up costs microseconds: chunks of
// this size keep that below 1% of a run, for about 17 MiB in all.
constexpr size_t kChunkValues = size_t{1} << 15;
constexpr size_t kChunkSamples = size_t{1} << 17;

// The current time as ISO 8601 UTC, as a SigMF capture gives it.
std::string utcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
#if defined(_WIN32)
  (void)gmtime_s(&parts, &now);
#else
  (void)gmtime_r(&now, &parts);
#endif
  std::array<char, 32> text{};
  const size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &parts);
  return {text.data(), length};
}

// One run of the command: each step either lets the run go on or gives the exit status.
class CommandRun {
 public:
  CommandRun(const cli::RunOptions& options, const char* argv0)
      : options_(options), argv0_(argv0) {}

  int execute() {
    for (auto step : {&CommandRun::openInput, &CommandRun::checkOutputs, &CommandRun::loadPlugin,
                      &CommandRun::setUp, &CommandRun::describeSignal, &CommandRun::makeSource,
                      &CommandRun::openOutputs}) {
      if (const std::optional<int> exit = (this->*step)()) {
        return *exit;
      }
    }
    const engine::RunResult result = runSteps();
    return close(result);
  }

 private:
  using Step = std::optional<int>;

  [[nodiscard]] bool bitInput() const {
    return truncateToInt32(options_.settings.parameters.inputType) != codeOf(InputType::Integer);
  }

  Step openInput() {
    if (options_.randomSymbols || options_.message || options_.input == "-") {
      if (!options_.randomSymbols && !options_.message) {
        inputFile_.reset(stdin);
#if defined(_WIN32)
        if (options_.inputFormat == cli::InputFormat::Bytes) {
          (void)_setmode(_fileno(stdin), _O_BINARY);
        }
#endif
      }
      return std::nullopt;
    }
    const bool bytes = options_.inputFormat == cli::InputFormat::Bytes;
    inputFile_.reset(std::fopen(options_.input.c_str(), bytes ? "rb" : "r"));
    if (!inputFile_) {
      return usageFailure("cannot open the input " + engine::quote(options_.input) + ": " +
                          std::strerror(errno));
    }
    std::error_code error;
    const auto size = std::filesystem::file_size(options_.input, error);
    if (!error) {
      inputBytes_ = size;
    }
    return std::nullopt;
  }

  // Before anything is opened for writing: no file written may be one read or another written.
  Step checkOutputs() {
    pluginPath_ = options_.plugin.empty() ? defaultPlugin(argv0_) : options_.plugin;
    if (const std::string clash = outputClash(options_, pluginPath_); !clash.empty()) {
      return usageFailure(clash + "; nothing was written");
    }
    return std::nullopt;
  }

  Step loadPlugin() {
    warnOfUnknownKernel();
    plugin_ = std::make_unique<engine::PluginLibrary>(pluginPath_);
    if (!plugin_->isOpen()) {
      return failure(plugin_->error());
    }
    return std::nullopt;
  }

  // The plug-in reads the variable silently and takes the fastest kernel for a word it does not
  // know; the person who set it should hear that it was not taken.
  static void warnOfUnknownKernel() {
    const char* word = std::getenv(kKernelVariable);  // NOLINT(concurrency-mt-unsafe)
    if (word != nullptr && *word != '\0' && !parseKernelLevel(word)) {
      std::string known;
      for (const std::string_view name : kKernelLevelNames) {
        known += (known.empty() ? "" : ", ") + std::string(name);
      }
      std::cerr << "warning: " << kKernelVariable << "=" << engine::quote(word)
                << " names no kernel (" << known << "); the fastest this processor runs is used\n";
    }
  }

  Step setUp() {
    simulation_ = std::make_unique<engine::Simulation>(*plugin_, options_.settings);
    const engine::RunResult result = simulation_->setUp();
    if (result.outcome == engine::Outcome::SettingsError) {
      const bool symbolRate = options_.settings.rate.kind == engine::RateKind::SymbolRate;
      return usageFailure(std::string(symbolRate ? "--symbol-rate: " : "--sample-rate: ") +
                          result.message);
    }
    if (result.outcome == engine::Outcome::SampleTimeError) {
      return failure("--sample-time " + shortestNumber(options_.settings.sampleTime) + ": " +
                     result.message);
    }
    if (!result.ok()) {
      return failure(result.message);
    }
    return std::nullopt;
  }

  // The summary, the warnings and the notes, before anything is written.
  Step describeSignal() {
    const engine::SignalLayout& layout = simulation_->layout();
    if (!options_.quiet && (options_.summary || cli::errorStreamIsTerminal())) {
      std::cerr << cli::runSummary(options_.settings, layout);
    }
    const std::vector<std::string> warnings =
        engine::toneWarnings(options_.settings.parameters, layout.sampleRate);
    for (const std::string& warning : warnings) {
      std::cerr << (options_.strict ? "usage error: " : "warning: ") << warning << '\n';
    }
    if (options_.strict && !warnings.empty()) {
      return cli::kUsageExit;
    }
    if (options_.mappingGiven && !bitInput() && !options_.quiet) {
      std::cerr << "note: --mapping does not affect integer input\n";
    }
    return std::nullopt;
  }

  Step makeSource() {
    const engine::SignalLayout& layout = simulation_->layout();
    if (options_.randomSymbols) {
      const auto values = *options_.randomSymbols * static_cast<uint64_t>(layout.valuesPerSymbol);
      const auto width = static_cast<uint64_t>(layout.inputWidth);
      if (values % width != 0 && !options_.pad) {
        return usageFailure("--random " + std::to_string(*options_.randomSymbols) +
                            " symbols make " + std::to_string(values) +
                            " input values, not a whole number of steps of " +
                            std::to_string(width) + " values; --pad completes the last with zeros");
      }
      auto random = std::make_unique<engine::RandomInput>(
          *options_.randomSymbols, options_.seed, layout.valuesPerSymbol, bitInput(),
          truncateToInt32(options_.settings.parameters.mAryNumber));
      const engine::RandomInput* generator = random.get();
      inputPosition_ = [generator] { return generator->symbolsGenerated(); };
      inputLength_ = *options_.randomSymbols;
      source_ = std::move(random);
    } else if (options_.inputFormat == cli::InputFormat::Bytes) {
      auto bytes = options_.message
                       ? std::make_unique<engine::BytesInput>(*options_.message, bitInput())
                       : std::make_unique<engine::BytesInput>(inputFile_.get(), bitInput());
      const engine::BytesInput* reader = bytes.get();
      inputPosition_ = [reader] { return reader->bytesConsumed(); };
      inputLength_ = options_.message ? options_.message->size() : inputBytes_;
      source_ = std::move(bytes);
    } else {
      auto text = std::make_unique<engine::TextInput>(inputFile_.get());
      textInput_ = text.get();
      inputPosition_ = [reader = textInput_] { return reader->bytesConsumed(); };
      inputLength_ = inputBytes_;
      source_ = std::move(text);
    }
    return std::nullopt;
  }

  [[nodiscard]] engine::RecordingInfo recordingInfo() const {
    const engine::SignalLayout& layout = simulation_->layout();
    engine::RecordingInfo info;
    info.samplePeriod = 1.0 / layout.sampleRate;
    info.sampleRate = layout.sampleRate;
    info.description =
        options_.description.empty() ? describe(options_.settings) : options_.description;
    info.recorder = kRecorder;
    info.sigmfDatatype = options_.sigmfDatatype;
    engine::RecordedRun run;
    run.parameters = options_.settings.parameters;
    run.signal = options_.settings.signal;
    run.frameSize = layout.inputWidth;
    run.symbolRate = layout.symbolRate;
    run.toneFrequencies = engine::toneFrequencies(options_.settings.parameters);
    if (options_.randomSymbols) {
      run.seed = options_.seed;
    }
    info.run = std::move(run);
    info.centerFrequency = options_.centerFrequency;
    if (options_.datetime) {
      info.datetime = utcNow();
    }
    info.author = options_.author;
    info.sha512 = options_.sha512;
    return info;
  }

  // The saved input first: its temporary file goes again if the output cannot be opened.
  Step openOutputs() {
    // From the moment there is an output to complete, a stop signal completes it.
    stop_ = cli::catchStopSignals();
    if (!options_.saveInput.empty()) {
      savedInput_ = std::make_unique<cli::SavedInput>(simulation_->layout().valuesPerSymbol);
      // A name that cannot be written is a bad value of the option, found before the run.
      if (!savedInput_->open(options_.saveInput)) {
        return usageFailure("--save-input: " + savedInput_->error());
      }
    }
    std::string error;
    output_ = engine::openOutput(options_.format, options_.output, recordingInfo(), error);
    if (!output_) {
      return failure(error);
    }
    return std::nullopt;
  }

  // Whether the input may be read ahead: not one that can wait for ever, a pipe or a terminal,
  // whose reader the run could not stop.
  [[nodiscard]] bool inputReadsAhead() const {
    if (options_.randomSymbols || options_.message) {
      return true;
    }
    const std::optional<engine::FileIdentity> identity = options_.input == "-"
                                                             ? engine::standardInputIdentity()
                                                             : engine::fileIdentity(options_.input);
    return identity && identity->regular;
  }

  // How much of the input the run has taken, as far as anybody knows.
  [[nodiscard]] double fraction() const {
    return inputLength_ > 0 ? static_cast<double>(position_) / static_cast<double>(inputLength_)
                            : -1.0;
  }

  // Reads the input in chunks of whole steps, feeds them and writes every step's samples, then
  // finishes the run, padding a last step cut short where asked to. The input is read ahead and
  // the samples written (the input saved) behind on worker threads: this thread runs the block.
  engine::RunResult runSteps() {
    const auto width = static_cast<size_t>(simulation_->layout().inputWidth);
    const size_t stepSamples = simulation_->stepSampleCount();
    const size_t steps =
        std::max<size_t>(1, std::min(kChunkValues / width, kChunkSamples / stepSamples));
    // The writer's buffers take a chunk's samples; this thread keeps room for the last step only.
    const size_t chunkDoubles = 2 * steps * stepSamples;
    samples_.resize(2 * stepSamples);
    std::unique_ptr<cli::ProgressBar> progress;
    if (!options_.quiet && cli::errorStreamIsTerminal()) {
      progress = std::make_unique<cli::ProgressBar>([this] { return fraction(); });
    }

    engine::RunResult result;
    {
      cli::ReadAhead input(
          [this](std::span<double> values, std::span<uint64_t> lines) {
            return textInput_ != nullptr ? textInput_->readAvailable(values, lines)
                                         : source_->readAvailable(values);
          },
          inputPosition_, steps * width, textInput_ != nullptr, inputReadsAhead());
      cli::WriteBehind output(*output_, savedInput_.get(), input, chunkDoubles);
      runChunks(input, output, progress.get(), result);
      // The workers end here; the input, the output and the saved input are this thread's
      // again. A write that failed came before anything this thread saw afterwards.
      input.stop();
      if (!output.finish()) {
        result = {engine::Outcome::OutputError, output.error(), output.samplesWritten(),
                  std::nullopt};
      }
    }
    endRun(result, width);
    if (progress) {
      progress->progress(result.samplesWritten);
    }
    return result;
  }

  // Feeds the input chunk by chunk until it ends, the run fails or a stop is asked for.
  void runChunks(cli::ReadAhead& input, cli::WriteBehind& output, cli::ProgressBar* progress,
                 engine::RunResult& result) {
    const size_t stepSamples = simulation_->stepSampleCount();
    for (;;) {
      if (stop_.requested()) {
        result.outcome = engine::Outcome::Interrupted;
        return;
      }
      // A read that may wait for ever starts once every write before it is done, so that a
      // write that failed ends the run before it, as on one thread.
      if (!input.ahead()) {
        output.drain();
      }
      if (output.failed()) {
        return;
      }
      // Every chunk but the last is whole steps, so that no step straddles two chunks.
      inputsBeforeChunk_ = result.samplesWritten / stepSamples;
      const cli::InputChunk& chunk = input.next();
      // A signal that came while the input was read stops the run before these values.
      if (stop_.requested()) {
        output.giveBack(chunk);
        result.outcome = engine::Outcome::Interrupted;
        return;
      }
      position_ = chunk.position;
      if (savedInput_) {
        output.save(chunk);
      }
      chunk_ = &chunk;
      const bool fed = feed(chunk.read(), output, result);
      const bool last = chunk.last();
      chunk_ = nullptr;
      output.giveBack(chunk);
      if (!fed) {
        return;
      }
      if (progress != nullptr) {
        progress->progress(result.samplesWritten);
      }
      if (last) {
        return;
      }
    }
  }

  // Feeds `values`, handing the samples of every step they complete to the output; false once
  // the run failed, or the output did.
  bool feed(std::span<const double> values, cli::WriteBehind& output, engine::RunResult& result) {
    while (!values.empty() && !output.failed()) {
      const engine::StepResult step = simulation_->feed(values, output.buffer());
      output.write(step.samplesWritten);
      result.samplesWritten += step.samplesWritten;
      if (!step.ok()) {
        failedAt(step, result);
        return false;
      }
      values = values.subspan(step.valuesTaken);
    }
    return !output.failed();
  }

  // Ends the run: the last step cut short completed (padded) or reported, the input's own error
  // reported once every step before it is written.
  void endRun(engine::RunResult& result, size_t width) {
    const bool inputFailed = !source_->error().empty();
    if (simulation_->running()) {
      const size_t held = simulation_->heldValues();
      const engine::StepResult last =
          simulation_->finish(samples_, options_.pad && result.ok() && !inputFailed);
      if (result.ok() && writeSamples(last.samplesWritten, result)) {
        if (inputFailed) {
          result = {engine::Outcome::InputError, source_->error(), result.samplesWritten,
                    std::nullopt};
        } else if (last.outcome == engine::Outcome::InputError) {
          result = {engine::Outcome::InputError, incompleteStep(held, width), result.samplesWritten,
                    std::nullopt};
        } else if (!last.ok()) {
          failedAt(last, result);
        }
      }
    } else if (result.ok() && inputFailed) {
      result = {engine::Outcome::InputError, source_->error(), result.samplesWritten, std::nullopt};
    }
  }

  // The failure of a step in `result`: for the block's, which step it was (every step one
  // output of the block's, counted from 1) and where its input came from.
  void failedAt(const engine::StepResult& step, engine::RunResult& result) {
    result.outcome = step.outcome;
    result.message = step.message;
    if (step.outcome != engine::Outcome::BlockError && step.outcome != engine::Outcome::HostError) {
      return;
    }
    const engine::SignalLayout& layout = simulation_->layout();
    result.failedStep = result.samplesWritten / static_cast<uint64_t>(layout.outputWidth) + 1;
    if (textInput_ == nullptr) {
      return;
    }
    const auto width = static_cast<size_t>(layout.inputWidth);
    const uint64_t input = result.samplesWritten / simulation_->stepSampleCount();
    const auto first = static_cast<size_t>(input - inputsBeforeChunk_) * width;
    const size_t last = chunk_ != nullptr ? std::min(first + width, chunk_->count) : 0;
    if (first < last) {
      const std::vector<uint64_t>& lines = chunk_->lines;
      failedLines_ = lines[first] == lines[last - 1]
                         ? "input line " + std::to_string(lines[first])
                         : "input lines " + std::to_string(lines[first]) + "-" +
                               std::to_string(lines[last - 1]);
    }
  }

  bool writeSamples(size_t count, engine::RunResult& result) {
    if (count == 0) {
      return true;
    }
    if (!output_->write(std::span<const double>(samples_).first(2 * count))) {
      result.outcome = engine::Outcome::OutputError;
      result.message = output_->error();
      return false;
    }
    result.samplesWritten += count;
    return true;
  }

  [[nodiscard]] std::string incompleteStep(size_t held, size_t width) const {
    const std::string where =
        textInput_ != nullptr ? "line " + std::to_string(textInput_->lastLine()) + ": " : "";
    return where + "the input is not a whole number of steps: " + std::to_string(held) +
           " value(s) left after the last whole step of " + std::to_string(width) +
           " values; --pad completes it with zeros";
  }

  int close(const engine::RunResult& result) {
    if (result.outcome == engine::Outcome::OutputError) {
      return failure(result.message);  // the output's files are removed with it
    }
    std::optional<engine::RunNote> note;
    if (result.outcome == engine::Outcome::Interrupted) {
      note = {result.samplesWritten, "interrupted",
              "interrupted by " + cli::signalName(cli::stopSignal()) + " at sample " +
                  std::to_string(result.samplesWritten)};
    } else if (!result.ok()) {
      note = {result.samplesWritten, "error", result.message};
    }
    const bool closed = output_->close(note ? &*note : nullptr);
    const bool saved = !savedInput_ || savedInput_->close();

    // The block's message as it wrote it goes into the recording; the one printed says where.
    std::string printed = result.message;
    if (result.failedStep) {
      printed = "at step " + std::to_string(*result.failedStep) +
                (failedLines_.empty() ? "" : " (" + failedLines_ + ")") + ": " + printed;
    }
    int exitCode = 0;
    switch (result.outcome) {
      case engine::Outcome::Completed:
      case engine::Outcome::Interrupted:
        break;
      case engine::Outcome::InputError:
      case engine::Outcome::SettingsError:
        exitCode = usageFailure(printed);
        break;
      case engine::Outcome::BlockError:
      case engine::Outcome::HostError:
      case engine::Outcome::SampleTimeError:
      case engine::Outcome::OutputError:
        exitCode = failure(printed);
        break;
    }
    if (!closed) {
      exitCode = failure(output_->error());
    }
    if (!saved) {
      exitCode = failure(savedInput_->error());
    }
    // A stop signal ends the program by that signal once the output is complete, whenever it
    // came.
    if (cli::stopSignal() != 0) {
      std::cerr << "interrupted: " << cli::signalName(cli::stopSignal()) << " after "
                << result.samplesWritten << " output samples"
                << (closed ? "; the output holds every step before it\n" : "\n");
      cli::dieOfStopSignal();
    }
    return exitCode;
  }

  const cli::RunOptions& options_;
  const char* argv0_;
  std::unique_ptr<std::FILE, FileCloser> inputFile_;
  uint64_t inputBytes_ = 0;
  std::string pluginPath_;
  std::unique_ptr<engine::PluginLibrary> plugin_;
  std::unique_ptr<engine::Simulation> simulation_;
  std::unique_ptr<engine::ValueStream> source_;
  engine::TextInput* textInput_ = nullptr;
  // How far the source has read (called on the thread that reads it), out of how far it goes;
  // and how far it had read for the chunk being run.
  cli::ReadAhead::Position inputPosition_ = [] { return uint64_t{0}; };
  uint64_t inputLength_ = 0;
  uint64_t position_ = 0;
  engine::StopToken stop_;
  std::unique_ptr<engine::OutputWriter> output_;
  std::unique_ptr<cli::SavedInput> savedInput_;
  // The samples of the run's last step, written once the workers have ended. The pipeline has
  // buffers of its own, allocated before the run.
  std::vector<double> samples_;
  const cli::InputChunk* chunk_ = nullptr;  // the chunk being run
  uint64_t inputsBeforeChunk_ = 0;          // input steps completed before it
  std::string failedLines_;                 // where the input of a failing step came from
};

int run(int argc, char** argv) {
  const cli::ParseResult parsed = cli::parseCommandLine(argc, argv);
  if (!parsed.options) {
    return parsed.exitCode;
  }
  CommandRun command(*parsed.options, argv[0]);
  return command.execute();
}

}  // namespace

int main(int argc, char** argv) {
#if !defined(_WIN32)
  // A reader that goes away must not kill the program silently: the write then fails with
  // EPIPE and the run ends with a message and a failing exit status.
  (void)std::signal(SIGPIPE, SIG_IGN);
#endif
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {
    return failure(error.what());
  } catch (...) {
    // A plug-in raised an error outside a guarded call of its entry point.
    return failure("the block failed outside its protocol");
  }
}
