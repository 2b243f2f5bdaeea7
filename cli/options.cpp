#include "options.h"

#include <charconv>
#include <cmath>
#include <iostream>
#include <span>
#include <string_view>
#include <utility>

#include <CLI/CLI.hpp>

#include "block/conversion.h"
#include "engine/input_sources.h"
#include "engine/modulation.h"
#include "engine/quoting.h"
#include "engine/timing.h"

namespace quenvarith::cli {

namespace {

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

// A quantity in hertz or seconds that only a positive, finite value makes sense of.
double positiveOption(const std::string& option, const std::string& text) {
  const double value = numberOption(option, text);
  if (!(std::isfinite(value) && value > 0.0)) {
    throw UsageError(option + ": " + engine::quote(text) + " is not a positive, finite number");
  }
  return value;
}

double wordOrNumberOption(const std::string& option, const std::string& text,
                          std::span<const engine::ParameterWord> words) {
  if (const std::optional<double> value = engine::valueOfWord(words, text)) {
    return *value;
  }
  double value = 0.0;
  if (engine::parseNumber(text, value)) {
    return value;
  }
  throw UsageError(option + ": " + engine::quote(text) + " is neither " +
                   engine::listOfWords(words) + " nor a number");
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

std::string textOption(const std::string& option, const std::string& text) {
  if (text.empty()) {
    throw UsageError(option + ": the text is empty");
  }
  return text;
}

struct RawOptions {
  std::string mAry, inputType, mapping, separation, phase, samplesPerSymbol;
  std::string signal, frameSize, sampleTime, symbolRate, sampleRate, input, inputFormat, message;
  std::string random, seed, saveInput, output, format;
  std::string sigmfDatatype, centerFrequency, description, author, dispatch, plugin;
  bool pad = false;
  bool datetime = false;
  bool sha512 = false;
  bool quiet = false;
  bool summary = false;
  bool strict = false;
};

void interpretParameters(const CLI::App& app, const RawOptions& raw,
                         host::ParameterValues& parameters) {
  auto given = [&app](const char* name) { return app.count(name) > 0; };
  if (given("--m-ary")) {
    parameters.mAryNumber = numberOption("--m-ary", raw.mAry);
  }
  if (given("--input-type")) {
    parameters.inputType =
        wordOrNumberOption("--input-type", raw.inputType, engine::kInputTypeWords);
  }
  if (given("--mapping")) {
    parameters.bitToSymbolMapping =
        wordOrNumberOption("--mapping", raw.mapping, engine::kMappingWords);
  }
  if (given("--separation")) {
    parameters.frequencySeparation = numberOption("--separation", raw.separation);
  }
  if (given("--phase")) {
    parameters.phaseContinuity = wordOrNumberOption("--phase", raw.phase, engine::kPhaseWords);
  }
  if (given("--samples-per-symbol")) {
    parameters.samplesPerSymbol = numberOption("--samples-per-symbol", raw.samplesPerSymbol);
  }
}

// The pace: the host's sample time, or a rate in hertz whose periods are checked here, so that
// a rate that gives none is refused before anything is opened.
void interpretTiming(const CLI::App& app, const RawOptions& raw, engine::RunSettings& settings) {
  auto given = [&app](const char* name) { return app.count(name) > 0; };
  const int paces = (given("--sample-time") ? 1 : 0) + (given("--symbol-rate") ? 1 : 0) +
                    (given("--sample-rate") ? 1 : 0);
  if (paces > 1) {
    throw UsageError("--sample-time, --symbol-rate and --sample-rate: give at most one of them");
  }
  if (given("--sample-time")) {
    settings.sampleTime = numberOption("--sample-time", raw.sampleTime);
  }
  const char* rateOption = nullptr;
  if (given("--symbol-rate")) {
    rateOption = "--symbol-rate";
    settings.rate = {engine::RateKind::SymbolRate, positiveOption(rateOption, raw.symbolRate)};
  }
  if (given("--sample-rate")) {
    rateOption = "--sample-rate";
    settings.rate = {engine::RateKind::SampleRate, positiveOption(rateOption, raw.sampleRate)};
  }
  const int32_t samplesPerSymbol = truncateToInt32(settings.parameters.samplesPerSymbol);
  // Parameters the block refuses get its own message at set-up; the rate is checked with the
  // others.
  if (rateOption != nullptr && samplesPerSymbol >= 1) {
    engine::TimingPlan plan;
    std::string error;
    if (!engine::planTiming(
            {settings.signal, settings.frameSize, settings.sampleTime, settings.rate,
             engine::valuesPerSymbol(settings.parameters), samplesPerSymbol},
            plan, error)) {
      throw UsageError(std::string(rateOption) + ": " + error);
    }
  }
}

void interpretInput(const CLI::App& app, const RawOptions& raw, RunOptions& options) {
  auto given = [&app](const char* name) { return app.count(name) > 0; };
  if (given("--input")) {
    options.input = textOption("--input", raw.input);
  }
  if (given("--random")) {
    options.randomSymbols = wholeOption("--random", raw.random, 0);
  }
  if (given("--seed")) {
    options.seed = wholeOption("--seed", raw.seed, 0);
  }
  if (given("--input-format")) {
    if (given("--random")) {
      throw UsageError("--input-format: --random reads no input");
    }
    options.inputFormat = choiceOption("--input-format", raw.inputFormat, "numbers",
                                       InputFormat::Numbers, "bytes", InputFormat::Bytes);
  }
  if (given("--message")) {
    if (given("--input-format") && options.inputFormat != InputFormat::Bytes) {
      throw UsageError("--message: its text is modulated as bytes, not read as numbers");
    }
    options.message = textOption("--message", raw.message);
    options.inputFormat = InputFormat::Bytes;
  }
  if (given("--save-input")) {
    options.saveInput = textOption("--save-input", raw.saveInput);
    if (options.saveInput == "-") {
      throw UsageError("--save-input: give a file name; standard output is the recording's");
    }
  }
  options.pad = raw.pad || options.settings.rate.kind != engine::RateKind::None;
}

void interpretOutput(const CLI::App& app, const RawOptions& raw, RunOptions& options) {
  auto given = [&app](const char* name) { return app.count(name) > 0; };
  if (given("--output")) {
    if (raw.output.empty()) {
      throw UsageError("--output: the name is empty");
    }
    options.output = raw.output;
  }
  options.format = engine::formatFromPath(options.output);
  if (given("--format")) {
    const auto format = engine::parseOutputFormat(raw.format);
    if (!format) {
      throw UsageError("--format: " + engine::quote(raw.format) +
                       " is not one of text, csv, cf32, cf64, sigmf or sigmf-archive");
    }
    options.format = *format;
  }
  const bool sigmf = options.format == engine::OutputFormat::Sigmf ||
                     options.format == engine::OutputFormat::SigmfArchive;
  if (sigmf && options.output == "-") {
    throw UsageError("--format " + std::string(engine::formatName(options.format)) +
                     ": give the recording's name with --output NAME");
  }
  if (sigmf && !engine::namesARecording(options.output)) {
    throw UsageError("--output " + engine::quote(options.output) +
                     ": the recording has no name; give one as NAME, NAME.sigmf-data or "
                     "NAME.sigmf");
  }
  if (options.format == engine::OutputFormat::SigmfArchive && !engine::archivesSupported()) {
    throw UsageError(
        "--format sigmf-archive: this build of quenvarith-run has no archive "
        "library (libarchive) and cannot write SigMF archives");
  }
  // The options that describe a SigMF recording do nothing for another output.
  const auto recordingOnly = [&](const char* option) {
    if (given(option) && !sigmf) {
      throw UsageError(std::string(option) + ": applies to SigMF output only");
    }
  };
  recordingOnly("--sigmf-datatype");
  if (given("--sigmf-datatype")) {
    options.sigmfDatatype =
        choiceOption("--sigmf-datatype", raw.sigmfDatatype, "cf32_le", engine::SigmfDatatype::Cf32,
                     "cf64_le", engine::SigmfDatatype::Cf64);
  }
  recordingOnly("--center-frequency");
  if (given("--center-frequency")) {
    options.centerFrequency = positiveOption("--center-frequency", raw.centerFrequency);
  }
  recordingOnly("--datetime");
  options.datetime = raw.datetime;
  recordingOnly("--sha512");
  if (raw.sha512 && !engine::sha512Supported()) {
    throw UsageError(
        "--sha512: this build of quenvarith-run has no hash library (libcrypto) "
        "and cannot compute SHA-512");
  }
  options.sha512 = raw.sha512;
  recordingOnly("--description");
  if (given("--description")) {
    options.description = textOption("--description", raw.description);
  }
  recordingOnly("--author");
  if (given("--author")) {
    options.author = textOption("--author", raw.author);
  }
}

RunOptions interpret(const CLI::App& app, const RawOptions& raw) {
  RunOptions options;
  auto given = [&app](const char* name) { return app.count(name) > 0; };
  interpretParameters(app, raw, options.settings.parameters);
  options.mappingGiven = given("--mapping");

  if (given("--signal")) {
    options.settings.signal =
        choiceOption("--signal", raw.signal, "frame", engine::SignalMode::Frame, "sample",
                     engine::SignalMode::Sample);
  }
  if (given("--frame-size")) {
    if (options.settings.signal != engine::SignalMode::Frame) {
      throw UsageError("--frame-size: applies to frame signals only");
    }
    const uint64_t values = wholeOption("--frame-size", raw.frameSize, 1);
    if (values > static_cast<uint64_t>(INT32_MAX)) {
      throw UsageError("--frame-size: " + engine::quote(raw.frameSize) + " is too large");
    }
    options.settings.frameSize = static_cast<int32_t>(values);
  }
  interpretTiming(app, raw, options.settings);
  if (given("--dispatch")) {
    options.settings.dispatch =
        choiceOption("--dispatch", raw.dispatch, "table", engine::Dispatch::Table, "flags",
                     engine::Dispatch::Flags);
  }
  interpretInput(app, raw, options);
  interpretOutput(app, raw, options);
  if (given("--plugin")) {
    if (raw.plugin.empty()) {
      throw UsageError("--plugin: the path is empty");
    }
    options.plugin = raw.plugin;
  }
  options.quiet = raw.quiet;
  options.summary = raw.summary && !raw.quiet;
  options.strict = raw.strict;
  return options;
}

constexpr const char* kExamples =
    "Examples:\n"
    "  4-FSK at 1200 symbols/s and 9600 samples/s, 600 Hz apart, from a text message:\n"
    "    quenvarith-run --m-ary 4 --mapping gray --separation 600 --symbol-rate 1200 \\\n"
    "      --message 'CQ CQ' --output cq.sigmf-data\n"
    "  1000 random 8-FSK symbols with their bits saved, as raw cf32:\n"
    "    quenvarith-run --m-ary 8 --separation 1000 --sample-rate 48000 --random 1000 \\\n"
    "      --save-input bits.txt --output burst.cf32\n"
    "  The same signal again from the saved bits:\n"
    "    quenvarith-run --m-ary 8 --separation 1000 --sample-rate 48000 --input bits.txt \\\n"
    "      --output again.cf32\n";

void addOptions(CLI::App& app, RawOptions& raw) {
  app.add_option("--m-ary", raw.mAry,
                 "number of tones M, a power of two for bit input [MAryNumber] "
                 "(default 4)")
      ->option_text("M");
  app.add_option("--input-type", raw.inputType,
                 "what the input values are: bits, log2 M per symbol, most significant first, or "
                 "symbol indices 0..M-1 [InputType: bit=1, integer=2] (default bit)")
      ->option_text("bit|integer|VALUE");
  app.add_option("--mapping", raw.mapping,
                 "bits to tone index: natural binary, or Gray (index i carries the bits of "
                 "i XOR (i >> 1)); bit input only [BitToSymbolMapping: binary=1, gray=2] "
                 "(default binary)")
      ->option_text("binary|gray|VALUE");
  app.add_option("--separation", raw.separation,
                 "tone spacing in Hz; tone i at (2i - M + 1) x spacing / 2 [FrequencySeparation] "
                 "(default 1)")
      ->option_text("HZ");
  app.add_option("--phase", raw.phase,
                 "continuous: each symbol starts at the phase the last ended; discontinuous: "
                 "each tone a free-running oscillator [PhaseContinuity: continuous=1, "
                 "discontinuous=2] (default continuous)")
      ->option_text("continuous|discontinuous|VALUE");
  app.add_option("--samples-per-symbol", raw.samplesPerSymbol,
                 "output samples per symbol N: the sample rate is N x the symbol rate "
                 "[SamplesPerSymbol] (default 8)")
      ->option_text("N");
  app.add_option("--symbol-rate", raw.symbolRate,
                 "symbols per second, in Hz; the signal is then the same whatever the frame "
                 "size, and a last frame the input does not fill is padded")
      ->option_text("HZ");
  app.add_option("--sample-rate", raw.sampleRate,
                 "output samples per second, in Hz (N x the symbol rate); as --symbol-rate")
      ->option_text("HZ");
  app.add_option("--sample-time", raw.sampleTime,
                 "in the host's terms: seconds between input frames (frame signal) or symbols "
                 "(sample signal); the symbol period is this x values per symbol / frame size. "
                 "At most one of --symbol-rate, --sample-rate and --sample-time (default 1)")
      ->option_text("SECONDS");
  app.add_option("--signal", raw.signal,
                 "frame: a column of input values per step; sample: one symbol per input step "
                 "and one output sample per step (default frame)")
      ->option_text("frame|sample");
  app.add_option("--frame-size", raw.frameSize,
                 "input values per step, frame signal (default: one symbol's values, or 1024 "
                 "symbols' worth with a rate in Hz)")
      ->option_text("VALUES");
  app.add_flag("--pad", raw.pad,
               "complete a last step the input does not fill with zeros; only the symbols that "
               "carry input are written (always so with a rate in Hz)");
  auto* input = app.add_option("--input", raw.input,
                               "the input: whitespace-separated numbers, bits or symbol indices "
                               "(default -, standard input)")
                    ->option_text("FILE|-");
  app.add_option("--input-format", raw.inputFormat,
                 "numbers, or bytes: every byte gives 8 bits, most significant first, with bit "
                 "input, or one symbol 0..255 with integer input (default numbers)")
      ->option_text("numbers|bytes");
  auto* message = app.add_option("--message", raw.message,
                                 "modulate the UTF-8 bytes of TEXT instead of reading input")
                      ->option_text("TEXT");
  auto* random = app.add_option("--random", raw.random,
                                "generate SYMBOLS random symbols instead of reading input")
                     ->option_text("SYMBOLS");
  app.add_option("--seed", raw.seed, "seed of --random's generator, mt19937-64 (default 1)")
      ->option_text("S")
      ->needs(random);
  input->excludes(random);
  message->excludes(input);
  message->excludes(random);
  app.add_option("--save-input", raw.saveInput,
                 "write the input values to FILE as numbers, padding left out, so that --input "
                 "FILE with the same options gives the same recording")
      ->option_text("FILE");
  app.add_option("--output", raw.output, "the samples (default -, standard output)")
      ->option_text("FILE|-");
  app.add_option("--format", raw.format,
                 "text, csv, raw interleaved I/Q little-endian (cf32, cf64), a SigMF recording "
                 "(NAME.sigmf-data and NAME.sigmf-meta) or a SigMF archive (NAME.sigmf) "
                 "(default: from the output file's extension, else text)")
      ->option_text("text|csv|cf32|cf64|sigmf|sigmf-archive");
  app.add_option("--sigmf-datatype", raw.sigmfDatatype, "SigMF sample type (default cf32_le)")
      ->option_text("cf32_le|cf64_le");
  app.add_option("--center-frequency", raw.centerFrequency,
                 "the carrier the baseband stands for, in Hz: the SigMF capture's frequency")
      ->option_text("HZ");
  app.add_flag("--datetime", raw.datetime,
               "record the run's start time (UTC) in the SigMF capture; without it identical "
               "runs give identical recordings");
  app.add_flag("--sha512", raw.sha512, "record the SHA-512 of the SigMF data");
  app.add_option("--description", raw.description,
                 "the SigMF description (default: the block's parameters)")
      ->option_text("TEXT");
  app.add_option("--author", raw.author, "the SigMF author")->option_text("TEXT");
  app.add_option("--dispatch", raw.dispatch,
                 "call the block's methods through its method table or its entry point's flag "
                 "calls; the output is the same (default table)")
      ->option_text("table|flags");
  app.add_option("--plugin", raw.plugin,
                 "the plug-in to load (default: the one installed or built beside the program)")
      ->option_text("PATH");
  app.add_flag("--summary", raw.summary,
               "print what will be sent on standard error even when it is no terminal");
  app.add_flag("--strict", raw.strict,
               "make the warnings about the signal (aliased or coinciding tones) usage errors");
  app.add_flag("--quiet", raw.quiet, "no progress bar, summary or notes; warnings stay");
}

}  // namespace

ParseResult parseCommandLine(int argc, char** argv) {
  CLI::App app{
      "Runs the quenvarith M-FSK modulator block on input bits or symbols and writes its "
      "complex baseband samples. A block error keeps every completed step in the "
      "output (exit 1).",
      "quenvarith-run"};
  app.set_version_flag("--version", std::string("quenvarith-run ") + QUENVARITH_VERSION,
                       "print the program's version");
  app.footer(std::string("\nExit status: 0 success, 1 block or output error, 2 usage error or bad "
                         "input.\n\n") +
             kExamples);
  RawOptions raw;
  addOptions(app, raw);

  try {
    app.parse(argc, argv);
    return {interpret(app, raw), 0};
  } catch (const CLI::CallForHelp& help) {
    return {std::nullopt, app.exit(help)};
  } catch (const CLI::CallForVersion& version) {
    return {std::nullopt, app.exit(version)};
  } catch (const CLI::ParseError& error) {
    // CLI11's messages repeat the arguments as they were given.
    std::cerr << "usage error: " << engine::printable(error.what())
              << "\nRun with --help for the options.\n";
    return {std::nullopt, kUsageExit};
  } catch (const UsageError& error) {
    std::cerr << "usage error: " << engine::printable(error.what())
              << "\nRun with --help for the options.\n";
    return {std::nullopt, kUsageExit};
  }
}

}  // namespace quenvarith::cli
