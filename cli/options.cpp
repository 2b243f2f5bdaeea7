#include "options.h"

#include <array>
#include <charconv>
#include <iostream>
#include <string_view>
#include <utility>

#include <CLI/CLI.hpp>

#include "engine/input_sources.h"
#include "engine/quoting.h"

namespace quenvarith::cli {

namespace {

// A named value an option takes besides a number.
struct Word {
  std::string_view name;
  double value;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

double numberOption(const std::string& option, const std::string& text) {
  double value = 0.0;
  if (!engine::parseNumber(text, value)) {
    throw UsageError(option + ": " + engine::quote(text) + " is not a number");
  }
  return value;
}

template <size_t Count>
double wordOrNumberOption(const std::string& option, const std::string& text,
                          const std::array<Word, Count>& words) {
  for (const Word& word : words) {
    if (text == word.name) {
      return word.value;
    }
  }
  double value = 0.0;
  if (engine::parseNumber(text, value)) {
    return value;
  }
  std::string names;
  for (size_t i = 0; i < Count; ++i) {
    names += std::string(words[i].name) + (i + 2 < Count ? ", " : i + 1 < Count ? " or " : "");
  }
  throw UsageError(option + ": " + engine::quote(text) + " is neither " + names + " nor a number");
}

uint64_t wholeOption(const std::string& option, const std::string& text, uint64_t lowest) {
  uint64_t value = 0;
  const char* last = text.data() + text.size();
  const auto [end, status] = std::from_chars(text.data(), last, value);
  if (text.empty() || status != std::errc() || end != last || value < lowest) {
    throw UsageError(option + ": " + engine::quote(text) + " is not a whole number of at least " +
                     std::to_string(lowest));
  }
  return value;
}

// One of two words, each naming a value of an option's own type.
template <typename Value>
Value choiceOption(const std::string& option, const std::string& text, const char* firstName,
                   Value firstValue, const char* secondName, Value secondValue) {
  if (text == firstName) {
    return firstValue;
  }
  if (text == secondName) {
    return secondValue;
  }
  throw UsageError(option + ": " + engine::quote(text) + " is neither " + firstName + " nor " +
                   secondName);
}

constexpr std::array<Word, 2> kInputTypes{{{"bit", 1}, {"integer", 2}}};
constexpr std::array<Word, 2> kMappings{{{"binary", 1}, {"gray", 2}}};
constexpr std::array<Word, 2> kPhases{{{"continuous", 1}, {"discontinuous", 2}}};

struct RawOptions {
  std::string mAry, inputType, mapping, separation, phase, samplesPerSymbol;
  std::string signal, frameSize, sampleTime, input, random, seed, output, format;
  std::string sigmfDatatype, dispatch, plugin;
  bool quiet = false;
};

RunOptions interpret(const CLI::App& app, const RawOptions& raw) {
  RunOptions options;
  auto given = [&app](const char* name) { return app.count(name) > 0; };
  host::ParameterValues& parameters = options.settings.parameters;
  if (given("--m-ary")) {
    parameters.mAryNumber = numberOption("--m-ary", raw.mAry);
  }
  if (given("--input-type")) {
    parameters.inputType = wordOrNumberOption("--input-type", raw.inputType, kInputTypes);
  }
  if (given("--mapping")) {
    parameters.bitToSymbolMapping = wordOrNumberOption("--mapping", raw.mapping, kMappings);
  }
  if (given("--separation")) {
    parameters.frequencySeparation = numberOption("--separation", raw.separation);
  }
  if (given("--phase")) {
    parameters.phaseContinuity = wordOrNumberOption("--phase", raw.phase, kPhases);
  }
  if (given("--samples-per-symbol")) {
    parameters.samplesPerSymbol = numberOption("--samples-per-symbol", raw.samplesPerSymbol);
  }

  if (given("--signal")) {
    options.settings.signal =
        choiceOption("--signal", raw.signal, "frame", engine::SignalMode::Frame, "sample",
                     engine::SignalMode::Sample);
  }
  if (given("--frame-size")) {
    if (options.settings.signal != engine::SignalMode::Frame) {
      throw UsageError("--frame-size: applies to frame signals only");
    }
    const uint64_t rows = wholeOption("--frame-size", raw.frameSize, 1);
    if (rows > static_cast<uint64_t>(INT32_MAX)) {
      throw UsageError("--frame-size: " + engine::quote(raw.frameSize) + " is too large");
    }
    options.settings.frameSize = static_cast<int32_t>(rows);
  }
  if (given("--sample-time")) {
    options.settings.sampleTime = numberOption("--sample-time", raw.sampleTime);
  }
  if (given("--dispatch")) {
    options.settings.dispatch =
        choiceOption("--dispatch", raw.dispatch, "table", engine::Dispatch::Table, "flags",
                     engine::Dispatch::Flags);
  }

  if (given("--input")) {
    options.input = raw.input;
  }
  if (given("--random")) {
    options.randomSymbols = wholeOption("--random", raw.random, 0);
  }
  if (given("--seed")) {
    options.seed = wholeOption("--seed", raw.seed, 0);
  }
  if (given("--output")) {
    if (raw.output.empty()) {
      throw UsageError("--output: the name is empty");
    }
    if (engine::isSigmfArchive(raw.output)) {
      throw UsageError("--output " + engine::quote(raw.output) +
                       ": SigMF archives are not written; name the recording NAME.sigmf-data");
    }
    options.output = raw.output;
  }
  options.format = engine::formatFromPath(options.output);
  if (given("--format")) {
    const auto format = engine::parseOutputFormat(raw.format);
    if (!format) {
      throw UsageError("--format: " + engine::quote(raw.format) +
                       " is not one of text, csv, cf32, cf64 or sigmf");
    }
    options.format = *format;
  }
  const bool sigmf = options.format == engine::OutputFormat::Sigmf;
  if (sigmf && options.output == "-") {
    throw UsageError("--format sigmf: give the recording's name with --output NAME");
  }
  if (sigmf && !engine::namesARecording(options.output)) {
    throw UsageError("--output " + engine::quote(options.output) +
                     ": the recording has no name; give one as NAME or NAME.sigmf-data");
  }
  if (given("--sigmf-datatype")) {
    if (!sigmf) {
      throw UsageError("--sigmf-datatype: applies to SigMF output only");
    }
    options.sigmfDatatype =
        choiceOption("--sigmf-datatype", raw.sigmfDatatype, "cf32_le", engine::SigmfDatatype::Cf32,
                     "cf64_le", engine::SigmfDatatype::Cf64);
  }
  if (given("--plugin")) {
    if (raw.plugin.empty()) {
      throw UsageError("--plugin: the path is empty");
    }
    options.plugin = raw.plugin;
  }
  options.quiet = raw.quiet;
  return options;
}

}  // namespace

ParseResult parseCommandLine(int argc, char** argv) {
  CLI::App app{"Runs the quenvarith M-FSK modulator block on input bits or symbols.",
               "quenvarith-run"};
  RawOptions raw;
  app.add_option("--m-ary", raw.mAry, "MAryNumber (default 4)")->option_text("VALUE");
  app.add_option("--input-type", raw.inputType, "InputType: bit=1, integer=2 (default bit)")
      ->option_text("bit|integer|VALUE");
  app.add_option("--mapping", raw.mapping, "BitToSymbolMapping: binary=1, gray=2 (default binary)")
      ->option_text("binary|gray|VALUE");
  app.add_option("--separation", raw.separation, "FrequencySeparation (default 1)")
      ->option_text("HZ");
  app.add_option("--phase", raw.phase,
                 "PhaseContinuity: continuous=1, discontinuous=2 (default continuous)")
      ->option_text("continuous|discontinuous|VALUE");
  app.add_option("--samples-per-symbol", raw.samplesPerSymbol, "SamplesPerSymbol N (default 8)")
      ->option_text("VALUE");
  app.add_option("--signal", raw.signal, "frame-based or sample-based signal (default frame)")
      ->option_text("frame|sample");
  app.add_option("--frame-size", raw.frameSize,
                 "input values per frame, frame mode (default: the values of one symbol)")
      ->option_text("ROWS");
  app.add_option("--sample-time", raw.sampleTime,
                 "sample time offered to the input port; the frame period in frame mode "
                 "(default 1)")
      ->option_text("SECONDS");
  auto* input = app.add_option("--input", raw.input,
                               "whitespace-separated numbers, bits or integer symbols "
                               "(default -, stdin)")
                    ->option_text("FILE|-");
  auto* random = app.add_option("--random", raw.random,
                                "generate SYMBOLS random symbols instead of reading input")
                     ->option_text("SYMBOLS");
  app.add_option("--seed", raw.seed, "seed of --random (default 1)")
      ->option_text("S")
      ->needs(random);
  input->excludes(random);
  app.add_option("--output", raw.output, "(default -, stdout)")->option_text("FILE|-");
  app.add_option("--format", raw.format, "(default: from the output file's extension, else text)")
      ->option_text("text|csv|cf32|cf64|sigmf");
  app.add_option("--sigmf-datatype", raw.sigmfDatatype, "SigMF sample type (default cf32_le)")
      ->option_text("cf32_le|cf64_le");
  app.add_option("--dispatch", raw.dispatch, "(default table)")->option_text("table|flags");
  app.add_option("--plugin", raw.plugin,
                 "the plug-in to load (default: the one installed or built beside the program)")
      ->option_text("PATH");
  app.add_flag("--quiet", raw.quiet, "no progress bar");

  try {
    app.parse(argc, argv);
    return {interpret(app, raw), 0};
  } catch (const CLI::CallForHelp& help) {
    return {std::nullopt, app.exit(help)};
  } catch (const CLI::ParseError& error) {
    // CLI11's messages repeat the arguments as they were given.
    std::cerr << "usage error: " << engine::printable(error.what())
              << "\nRun with --help for the options.\n";
    return {std::nullopt, kUsageExit};
  } catch (const UsageError& error) {
    std::cerr << "usage error: " << error.what() << "\nRun with --help for the options.\n";
    return {std::nullopt, kUsageExit};
  }
}

}  // namespace quenvarith::cli
