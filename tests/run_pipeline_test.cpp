// quenvarith-run with its input read ahead and its output written behind on worker threads: the
// bytes it writes are those of the engine run on one thread, and an input error, a block error or
// a failed write late in a long run shows at the step it would have on one thread, the samples
// before it written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/input_sources.h"
#include "engine/output_formats.h"
#include "engine/plugin_library.h"
#include "run_process.h"

namespace quenvarith::testing {
namespace {

using Arguments = std::vector<std::string>;

constexpr uint64_t kSeed = 7;
constexpr size_t kSamplesPerSymbol = 8;  // the command's default
constexpr size_t kCf32Bytes = 8;         // per complex sample

struct Output {
  const char* name;
  engine::OutputFormat format;
  const char* file;  // "-": standard output
  uint64_t symbols;
  int32_t mAry;
  int32_t frameValues;  // 0: one symbol per step
  bool sampleSignal;
};

// The data the engine writes for `output` on one thread, to `path`.
std::string engineOutput(const Output& output, const std::string& path) {
  const engine::PluginLibrary plugin(QUENVARITH_PLUGIN_PATH);
  engine::RunSettings settings;
  settings.parameters.mAryNumber = output.mAry;
  settings.frameSize = output.frameValues;
  settings.signal = output.sampleSignal ? engine::SignalMode::Sample : engine::SignalMode::Frame;
  engine::Simulation simulation(plugin, settings);
  EXPECT_TRUE(simulation.setUp().ok());
  const engine::SignalLayout& layout = simulation.layout();
  engine::RandomInput input(output.symbols, kSeed, layout.valuesPerSymbol, true, output.mAry);
  engine::RecordingInfo info;
  info.sampleRate = layout.sampleRate;
  info.samplePeriod = 1.0 / layout.sampleRate;
  std::string error;
  const std::unique_ptr<engine::OutputWriter> writer =
      engine::openOutput(output.format, path, info, error);
  EXPECT_TRUE(writer) << error;
  EXPECT_TRUE(simulation.run(input, *writer).ok());
  EXPECT_TRUE(writer->close(nullptr));
  return readFile(engine::outputFiles(output.format, path).front());
}

class PipelineRunOutput : public ::testing::TestWithParam<Output> {};

// Long enough for many chunks and batches in flight.
INSTANTIATE_TEST_SUITE_P(
    PipelineRun, PipelineRunOutput,
    ::testing::Values(
        Output{"TextToStandardOutput", engine::OutputFormat::Text, "-", 12000, 4, 0, false},
        Output{"CsvFrames", engine::OutputFormat::Csv, "out.csv", 12288, 4, 2048, false},
        Output{"Cf32", engine::OutputFormat::Cf32, "out.cf32", 50000, 4, 0, false},
        Output{"Cf32Frames", engine::OutputFormat::Cf32, "out.cf32", 51200, 4, 2048, false},
        Output{"Cf32ToStandardOutput", engine::OutputFormat::Cf32, "-", 30000, 16, 0, false},
        Output{"Cf64SampleSignal", engine::OutputFormat::Cf64, "out.cf64", 20000, 8, 0, true},
        Output{"Sigmf", engine::OutputFormat::Sigmf, "rec.sigmf-data", 40000, 4, 64, false}),
    [](const auto& test) { return test.param.name; });

TEST_P(PipelineRunOutput, IsTheEnginesOwnByteForByte) {
  const Output output = GetParam();
  const ScratchDirectory scratch;
  const std::string file = output.file == std::string("-") ? "-" : scratch.file(output.file);
  Arguments arguments{"--random", std::to_string(output.symbols),
                      "--seed",   std::to_string(kSeed),
                      "--m-ary",  std::to_string(output.mAry),
                      "--format", std::string(engine::formatName(output.format)),
                      "--output", file,
                      "--quiet"};
  if (output.frameValues > 0) {
    arguments.insert(arguments.end(), {"--frame-size", std::to_string(output.frameValues)});
  }
  if (output.sampleSignal) {
    arguments.insert(arguments.end(), {"--signal", "sample"});
  }
  const ProcessResult result = runQuenvarith(arguments);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  std::string written =
      file == "-" ? result.out : readFile(engine::outputFiles(output.format, file)[0]);
  std::string expected = engineOutput(output, scratch.file("expected"));
  // Text to standard output and to a file may end their lines differently on Windows.
  if (output.format == engine::OutputFormat::Text || output.format == engine::OutputFormat::Csv) {
    written = withUnixLineEnds(written);
    expected = withUnixLineEnds(expected);
  }
  ASSERT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
}

// A long text input of bits, five to a line, with `bad` (when not empty) as its value number
// `at`, and `count` values in all.
std::string bitsText(size_t count, size_t at = 0, const std::string& bad = "") {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += !bad.empty() && i == at ? bad : std::to_string((i * 7 / 3) % 2);
    text += i % 5 == 4 ? '\n' : ' ';
  }
  return text;
}

constexpr size_t kValues = 300000;    // 150000 steps of one 4-FSK symbol
constexpr size_t kBadValue = 250001;  // in the 125001st step, on line 50001
constexpr size_t kStepsBefore = 125000;

struct InputFailure {
  const char* name;
  std::string input;
  Arguments more;
  int exitCode;
  std::string message;
  size_t stepsWritten;  // at least, for --pad; exactly else
};

class PipelineRunInputFailure : public ::testing::TestWithParam<InputFailure> {};

INSTANTIATE_TEST_SUITE_P(
    PipelineRun, PipelineRunInputFailure,
    ::testing::Values(
        InputFailure{"NotANumber",
                     bitsText(kValues, kBadValue, "x"),
                     {},
                     2,
                     "usage error: line 50001: 'x' is not a number\n",
                     kStepsBefore},
        InputFailure{"LastStepCutShort",
                     bitsText(kBadValue),
                     {},
                     2,
                     "usage error: line 50001: the input is not a whole number of steps: 1 "
                     "value(s) left after the last whole step of 2 values; --pad completes it "
                     "with zeros\n",
                     kStepsBefore},
        InputFailure{"LastStepPadded", bitsText(kBadValue), {"--pad"}, 0, "", kStepsBefore},
        InputFailure{"BlockError",
                     bitsText(kValues, kBadValue, "2"),
                     {},
                     1,
                     "error: at step 125001 (input line 50001): Input must be binary.\n",
                     kStepsBefore},
        InputFailure{"BlockErrorInAFrame",
                     bitsText(kValues, kBadValue, "2"),
                     {"--frame-size", "20"},
                     1,
                     "error: at step 12501 (input lines 50001-50004): Input must be binary.\n",
                     kStepsBefore}),
    [](const auto& test) { return test.param.name; });

// The message and exit status of one thread, every step before the failure written, and the
// saved input as far as the run got.
TEST_P(PipelineRunInputFailure, ShowsAtItsStepWithTheStepsBeforeWritten) {
  const InputFailure failure = GetParam();
  const ScratchDirectory scratch;
  const std::string good = scratch.file("good.txt");
  writeFile(good, bitsText(kValues));
  Arguments goodRun{"--output", scratch.file("good.cf32"), "--quiet"};
  goodRun.insert(goodRun.end(), failure.more.begin(), failure.more.end());
  ASSERT_EQ(runProgramOn(QUENVARITH_RUN_PATH, goodRun, good).exitCode, 0);
  const std::string goodSamples = readFile(scratch.file("good.cf32"));

  const std::string input = scratch.file("input.txt");
  writeFile(input, failure.input);
  for (const bool named : {false, true}) {
    SCOPED_TRACE(named ? "named input" : "standard input");
    Arguments arguments{"--output", scratch.file("out.cf32"), "--quiet", "--save-input",
                        scratch.file("saved.txt")};
    arguments.insert(arguments.end(), failure.more.begin(), failure.more.end());
    if (named) {
      arguments.insert(arguments.end(), {"--input", input});
    }
    const ProcessResult result = runProgramOn(QUENVARITH_RUN_PATH, arguments, input);
    EXPECT_EQ(result.exitCode, failure.exitCode) << result.err;
    EXPECT_EQ(withUnixLineEnds(result.err), failure.message);
    const std::string samples = readFile(scratch.file("out.cf32"));
    const size_t before = failure.stepsWritten * kSamplesPerSymbol * kCf32Bytes;
    if (failure.exitCode == 0) {
      ASSERT_GT(samples.size(), before);
    } else {
      ASSERT_EQ(samples.size(), before);
    }
    EXPECT_TRUE(samples.substr(0, before) == goodSamples.substr(0, before));
    // The saved input holds no fewer values than were run, each as it was read.
    const std::string saved = readFile(scratch.file("saved.txt"));
    EXPECT_GE(saved.size(), 2 * 2 * failure.stepsWritten);
  }
}

#if !defined(_WIN32)
struct WriteFailure {
  const char* name;
  Arguments arguments;
};

class PipelineRunWriteFailure : public ::testing::TestWithParam<WriteFailure> {};

INSTANTIATE_TEST_SUITE_P(
    PipelineRun, PipelineRunWriteFailure,
    ::testing::Values(WriteFailure{"Cf32", {"--format", "cf32", "--output", "/dev/full"}},
                      WriteFailure{"Text", {"--format", "text", "--output", "/dev/full"}},
                      WriteFailure{"Frames", {"--output", "/dev/full", "--frame-size", "2000"}},
                      WriteFailure{"SavedInput",
                                   {"--output", "out.cf32", "--save-input", "/dev/full"}}),
    [](const auto& test) { return test.param.name; });

// A full device stops a run that would otherwise last long, with the message of one thread and
// nothing left behind.
TEST_P(PipelineRunWriteFailure, StopsTheRunAndLeavesNothing) {
  const ScratchDirectory scratch;
  Arguments arguments{"--random", "100000000", "--quiet"};
  for (const std::string& argument : GetParam().arguments) {
    arguments.push_back(argument == "out.cf32" ? scratch.file(argument) : argument);
  }
  const ProcessResult result = runQuenvarith(arguments);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "error: cannot write the output '/dev/full': No space left on device\n");
  EXPECT_FALSE(std::filesystem::exists(scratch.file("out.cf32")));
  EXPECT_TRUE(std::filesystem::is_empty(scratch.file("")));
}
#endif

}  // namespace
}  // namespace quenvarith::testing
