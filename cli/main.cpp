// quenvarith-run: loads the modulator plug-in, runs it on input bits or symbols (read or
// random) and writes the complex baseband samples.
#include <array>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "block/conversion.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/stop_signals.h"
#include "engine/input_sources.h"
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

// The shortest text that reads back as `value`, as a person would have typed it.
std::string shortestNumber(double value) {
  std::array<char, 32> text{};
  return {text.data(), std::to_chars(text.data(), text.data() + text.size(), value).ptr};
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

// "input line 7", or "input lines 7-8" for a step whose values span lines.
std::string inputLines(const engine::TextInput& input) {
  const uint64_t first = input.stepFirstLine();
  const uint64_t last = input.stepLastLine();
  return first == last ? "input line " + std::to_string(first)
                       : "input lines " + std::to_string(first) + "-" + std::to_string(last);
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
  if (!options.randomSymbols) {
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

int run(int argc, char** argv) {
  cli::ParseResult parsed = cli::parseCommandLine(argc, argv);
  if (!parsed.options) {
    return parsed.exitCode;
  }
  const cli::RunOptions& options = *parsed.options;

  std::unique_ptr<std::FILE, FileCloser> inputFile;
  uint64_t inputBytes = 0;
  if (!options.randomSymbols) {
    if (options.input == "-") {
      inputFile.reset(stdin);
    } else {
      inputFile.reset(std::fopen(options.input.c_str(), "r"));
      if (!inputFile) {
        return usageFailure("cannot open the input " + engine::quote(options.input) + ": " +
                            std::strerror(errno));
      }
      std::error_code error;
      const auto size = std::filesystem::file_size(options.input, error);
      if (!error) {
        inputBytes = size;
      }
    }
  }

  const std::string pluginPath = options.plugin.empty() ? defaultPlugin(argv[0]) : options.plugin;
  if (const std::string clash = outputClash(options, pluginPath); !clash.empty()) {
    return usageFailure(clash + "; nothing was written");
  }
  const engine::PluginLibrary plugin(pluginPath);
  if (!plugin.isOpen()) {
    return failure(plugin.error());
  }

  engine::Simulation simulation(plugin, options.settings);
  const engine::RunResult setUp = simulation.setUp();
  if (setUp.outcome == engine::Outcome::SampleTimeError) {
    return failure("--sample-time " + shortestNumber(options.settings.sampleTime) + ": " +
                   setUp.message);
  }
  if (!setUp.ok()) {
    return failure(setUp.message);
  }
  const engine::SignalLayout& layout = simulation.layout();

  std::unique_ptr<engine::InputSource> source;
  engine::TextInput* textInput = nullptr;
  engine::RandomInput* randomInput = nullptr;
  if (options.randomSymbols) {
    const int32_t perSymbol = engine::valuesPerSymbol(options.settings.parameters);
    const auto values = *options.randomSymbols * static_cast<uint64_t>(perSymbol);
    const auto width = static_cast<uint64_t>(layout.inputWidth);
    if (values % width != 0) {
      return usageFailure("--random " + std::to_string(*options.randomSymbols) + " symbols make " +
                          std::to_string(values) +
                          " input values, not a whole number of steps of " + std::to_string(width) +
                          " values");
    }
    const bool bits = truncateToInt32(options.settings.parameters.inputType) != 2;
    auto random = std::make_unique<engine::RandomInput>(
        *options.randomSymbols, options.seed, perSymbol, bits,
        truncateToInt32(options.settings.parameters.mAryNumber));
    randomInput = random.get();
    source = std::move(random);
  } else {
    auto text = std::make_unique<engine::TextInput>(inputFile.get());
    textInput = text.get();
    source = std::move(text);
  }

  engine::RecordingInfo info;
  info.samplePeriod = layout.outputSamplePeriod;
  info.sampleRate = 1.0 / layout.outputSamplePeriod;
  info.description = describe(options.settings);
  info.recorder = kRecorder;
  info.sigmfDatatype = options.sigmfDatatype;
  // From the moment there is an output to complete, a stop signal completes it.
  const engine::StopToken stop = cli::catchStopSignals();
  std::string openError;
  const std::unique_ptr<engine::OutputWriter> output =
      engine::openOutput(options.format, options.output, info, openError);
  if (!output) {
    return failure(openError);
  }

  std::unique_ptr<cli::ProgressBar> progress;
  if (!options.quiet && cli::errorStreamIsTerminal()) {
    progress = std::make_unique<cli::ProgressBar>([&]() -> double {
      if (randomInput != nullptr && *options.randomSymbols > 0) {
        return static_cast<double>(randomInput->symbolsGenerated()) /
               static_cast<double>(*options.randomSymbols);
      }
      if (textInput != nullptr && inputBytes > 0) {
        return static_cast<double>(textInput->bytesConsumed()) / static_cast<double>(inputBytes);
      }
      return -1.0;
    });
  }
  const engine::RunResult result = simulation.run(*source, *output, progress.get(), stop);
  progress.reset();
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
  const bool closed = output->close(note ? &*note : nullptr);

  // The block's message as it wrote it goes into the recording; the one printed says where.
  std::string printed = result.message;
  if (result.failedStep) {
    printed = "at step " + std::to_string(*result.failedStep) +
              (textInput != nullptr ? " (" + inputLines(*textInput) + ")" : "") + ": " + printed;
  }
  int exitCode = 0;
  switch (result.outcome) {
    case engine::Outcome::Completed:
    case engine::Outcome::Interrupted:
      break;
    case engine::Outcome::InputError:
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
    exitCode = failure(output->error());
  }
  // A stop signal ends the program by that signal once the output is complete, whenever it came.
  if (cli::stopSignal() != 0) {
    std::cerr << "interrupted: " << cli::signalName(cli::stopSignal()) << " after "
              << result.samplesWritten << " output samples"
              << (closed ? "; the output holds every step before it\n" : "\n");
    cli::dieOfStopSignal();
  }
  return exitCode;
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
