// The command's option parser: any argument vector. It returns options to run with, an exit
// status after help, or the usage exit status, and it never throws or crashes; its messages are
// printable. An output it accepts names its files, and a recording written under that name
// (in a folder of the harness's own) reads back whole.
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "block/conversion.h"
#include "cli/options.h"
#include "engine/timing.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/recording_check.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // Help would drown the fuzzer's own output; usage messages are caught and checked.
  std::cout.rdbuf(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace quenvarith;
  FuzzedDataProvider data(bytes, size);
  std::vector<std::string> words = {"quenvarith-run"};
  while (data.remaining_bytes() > 0 && words.size() < 24) {
    words.push_back(data.ConsumeRandomLengthString(48));
  }
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);

  std::ostringstream messages;
  std::streambuf* const errorStream = std::cerr.rdbuf(messages.rdbuf());
  const cli::ParseResult result =
      cli::parseCommandLine(static_cast<int>(words.size()), argv.data());
  std::cerr.rdbuf(errorStream);
  fuzz::requirePrintable(messages.str());
  if (result.options) {
    const cli::RunOptions& options = *result.options;
    fuzz::require(options.settings.frameSize >= 0, "a frame size is never negative");
    // A rate in hertz that the parser takes is one the engine can plan, whatever N the block
    // would accept.
    const int32_t samplesPerSymbol = truncateToInt32(options.settings.parameters.samplesPerSymbol);
    if (options.settings.rate.kind != engine::RateKind::None && samplesPerSymbol >= 1) {
      engine::TimingPlan plan;
      std::string error;
      fuzz::require(engine::planTiming(
                        {options.settings.signal, options.settings.frameSize,
                         options.settings.sampleTime, options.settings.rate,
                         engine::valuesPerSymbol(options.settings.parameters), samplesPerSymbol},
                        plan, error),
                    "an accepted rate has a timing plan");
      fuzz::require(options.pad, "a rate in hertz pads the last step");
    }
    // The output as named, in a folder of the harness's own: the files it makes, and a recording
    // written under that name and read back.
    const std::vector<std::string> files = engine::outputFiles(options.format, options.output);
    fuzz::require(options.output == "-" ? files.empty() : !files.empty(),
                  "an output other than standard output names its files");
    for (const std::string& file : files) {
      const std::string name = std::filesystem::path(file).filename().string();
      fuzz::require(!name.empty(), "every output file has a name");
      fuzz::require(options.format != engine::OutputFormat::Sigmf || !name.starts_with(".sigmf-"),
                    "no recording is a file named by its extension alone");
    }
    const std::string name = std::filesystem::path(options.output).filename().string();
    if (options.output != "-" && !name.empty() && name != "." && name != "..") {
      engine::RecordingInfo info;
      info.sampleRate = 8.0;
      info.samplePeriod = 0.125;
      info.description = options.output;
      info.sigmfDatatype = options.sigmfDatatype;
      fuzz::checkRecording(name, options.format, info, options.seed % 4,
                           options.seed % 2 == 0 ? "" : "interrupted", options.input);
    }
  } else {
    fuzz::require(result.exitCode == 0 || result.exitCode == cli::kUsageExit,
                  "a parse that does not run exits 0 after help or with the usage status");
  }
  return 0;
}
