// End-to-end tests of quenvarith-run: the built command run as a subprocess.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/output_files.h"
#include "run_process.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quenvarith::testing {
namespace {

using Arguments = std::vector<std::string>;

struct Sample {
  double re;
  double im;
};

std::vector<Sample> samplesOf(const std::string& text) {
  std::vector<Sample> samples;
  for (const std::string& line : linesOf(text)) {
    char* rest = nullptr;
    const double re = std::strtod(line.c_str(), &rest);
    const double im = std::strtod(rest, nullptr);
    samples.push_back({re, im});
  }
  return samples;
}

// The names in a folder that are a partial output left behind.
std::vector<std::string> partialFiles(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(engine::kPartialInfix) != std::string::npos) {
      names.push_back(name);
    }
  }
  return names;
}

// Phases 0, pi/8, pi/4, 3pi/8 of the upper tone, then back down with the lower one: two
// symbols of M = 2, N = 4, separation 0.5 and a symbol period of 1 s, continuous phase.
void expectUpThenDown(const std::vector<Sample>& samples) {
  const std::vector<double> eighths{0, 1, 2, 3, 4, 3, 2, 1};
  ASSERT_EQ(samples.size(), eighths.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    const double phase = eighths[i] * std::numbers::pi / 8.0;
    EXPECT_NEAR(samples[i].re, std::cos(phase), 1e-12) << "sample " << i;
    EXPECT_NEAR(samples[i].im, std::sin(phase), 1e-12) << "sample " << i;
  }
}

Arguments withDispatch(Arguments arguments, const std::string& dispatch) {
  arguments.insert(arguments.end(), {"--dispatch", dispatch, "--quiet"});
  return arguments;
}

class EveryDispatch : public ::testing::TestWithParam<std::string> {};
INSTANTIATE_TEST_SUITE_P(RunCommand, EveryDispatch, ::testing::Values("table", "flags"));

TEST_P(EveryDispatch, FrameSignalCarriesAFrameOfSymbolsPerStep) {
  const ProcessResult result = runQuenvarith(
      withDispatch({"--m-ary", "2", "--input-type", "integer", "--samples-per-symbol", "4",
                    "--separation", "0.5", "--frame-size", "2", "--sample-time", "2"},
                   GetParam()),
      "1 0\n");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  expectUpThenDown(samplesOf(result.out));
}

TEST_P(EveryDispatch, SampleSignalGivesNOutputStepsPerSymbol) {
  const ProcessResult result =
      runQuenvarith(withDispatch({"--signal", "sample", "--m-ary", "2", "--samples-per-symbol", "4",
                                  "--separation", "0.5"},
                                 GetParam()),
                    "1\n0\n");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  expectUpThenDown(samplesOf(result.out));
}

TEST_P(EveryDispatch, BlockErrorsAtSetUpReachStandardErrorAndStopTheRun) {
  struct Case {
    Arguments arguments;
    std::string message;
  };
  const std::vector<Case> cases{
      {{"--input-type", "1.5"}, "Input type parameter is outside of expected range."},
      {{"--m-ary", "6"},
       "In case of Bit type input M-ary number parameter must be a scalar positive real integer "
       "value which is a non-zero power of two."},
      {{"--m-ary", "8", "--frame-size", "4"},
       "In frame-based bit input mode, the width of the input vector must be an integer multiple "
       "of the number of bits per symbol."},
      {{"--sample-time", "0"}, "Input signal must be discrete."},
      {{"--signal", "sample", "--sample-time", "0"}, "Input signal must be discrete."},
  };
  for (const Case& test : cases) {
    const ProcessResult result = runQuenvarith(withDispatch(test.arguments, GetParam()), "1 0\n");
    EXPECT_EQ(result.exitCode, 1) << test.message;
    EXPECT_NE(result.err.find(test.message), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty()) << test.message;
  }
}

TEST_P(EveryDispatch, MidStreamErrorKeepsEveryEarlierFrameAndNoneOfTheFailingOne) {
  const Arguments arguments = withDispatch({"--frame-size", "4"}, GetParam());
  const ProcessResult good = runQuenvarith(arguments, "1 0 1 1\n0 0 1 0\n1 1 0 1\n");
  ASSERT_EQ(good.exitCode, 0) << good.err;
  ASSERT_EQ(linesOf(good.out).size(), 48u);

  const ProcessResult bad = runQuenvarith(arguments, "1 0 1 1\n0 0 1 0\n1 2 0 1\n1 1 1 1\n");
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("error: at step 3 (input line 3): Input must be binary."),
            std::string::npos)
      << bad.err;
  const ProcessResult spanning = runQuenvarith(arguments, "1 0 1 1\n0 0\n1 2\n0 1\n");
  EXPECT_NE(spanning.err.find("error: at step 2 (input lines 2-3): Input must be binary."),
            std::string::npos)
      << spanning.err;
  const std::vector<std::string> kept = linesOf(bad.out);
  const std::vector<std::string> expected = linesOf(good.out);
  ASSERT_EQ(kept.size(), 32u);
  EXPECT_EQ(kept, std::vector<std::string>(expected.begin(), expected.begin() + 32));
}

TEST_P(EveryDispatch, MidStreamErrorOfASampleSignalKeepsTheEarlierSymbols) {
  const ProcessResult result = runQuenvarith(
      withDispatch({"--signal", "sample", "--input-type", "integer"}, GetParam()), "3 1 4 0\n");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("at step 17 (input line 1): Input must be an integer in the range of "
                            "0 to M-1."),
            std::string::npos)
      << result.err;
  EXPECT_EQ(linesOf(result.out).size(), 16u);
}

TEST(RunCommand, BothDispatchModesGiveBitIdenticalOutput) {
  for (const std::string signal : {"frame", "sample"}) {
    const Arguments arguments{"--random", "600",     "--m-ary",       "8",        "--mapping",
                              "gray",     "--phase", "discontinuous", "--signal", signal,
                              "--format", "cf64",    "--quiet"};
    Arguments table = arguments;
    table.insert(table.end(), {"--dispatch", "table"});
    Arguments flags = arguments;
    flags.insert(flags.end(), {"--dispatch", "flags"});
    const ProcessResult viaTable = runQuenvarith(table);
    const ProcessResult viaFlags = runQuenvarith(flags);
    ASSERT_EQ(viaTable.exitCode, 0) << viaTable.err;
    ASSERT_EQ(viaFlags.exitCode, 0) << viaFlags.err;
    EXPECT_EQ(viaTable.out.size(), 600u * 8u * 16u) << signal;
    EXPECT_TRUE(viaTable.out == viaFlags.out) << signal;
  }
}

TEST(RunCommand, FrameAndSampleSignalsAgreeForOneSymbolPerFrame) {
  const Arguments arguments{"--random", "300", "--m-ary", "16", "--quiet"};
  Arguments frame = arguments;
  frame.insert(frame.end(), {"--signal", "frame"});
  Arguments sample = arguments;
  sample.insert(sample.end(), {"--signal", "sample"});
  const ProcessResult framed = runQuenvarith(frame);
  const ProcessResult sampled = runQuenvarith(sample);
  ASSERT_EQ(framed.exitCode, 0) << framed.err;
  EXPECT_EQ(linesOf(framed.out).size(), 2400u);
  EXPECT_EQ(framed.out, sampled.out);
}

TEST(RunCommand, EveryFormatWritesTheSamplesItShould) {
  const ScratchDirectory scratch;
  // 10 symbols of 8 samples, one symbol per 1 s frame: 80 samples at 8 per second.
  const Arguments common{"--random", "10", "--quiet"};
  const auto run = [&common](Arguments more) {
    more.insert(more.begin(), common.begin(), common.end());
    ProcessResult result = runQuenvarith(more);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result;
  };

  EXPECT_EQ(linesOf(run({}).out).size(), 80u);
  EXPECT_EQ(run({"--format", "text"}).out, run({}).out);

  run({"--output", scratch.file("samples.csv")});
  const std::vector<std::string> rows = linesOf(readFile(scratch.file("samples.csv")));
  ASSERT_EQ(rows.size(), 81u);
  EXPECT_EQ(rows[0], "index,time,re,im");
  EXPECT_EQ(rows[1], "0,0,1,0");
  EXPECT_EQ(rows[4].substr(0, 8), "3,0.375,");

  run({"--output", scratch.file("samples.cf32")});
  const std::string cf32 = readFile(scratch.file("samples.cf32"));
  ASSERT_EQ(cf32.size(), 80u * 8u);
  const std::string one{'\x00', '\x00', '\x80', '\x3f', '\x00', '\x00', '\x00', '\x00'};
  EXPECT_EQ(cf32.substr(0, 8), one);  // (1, 0), little-endian floats
  run({"--output", scratch.file("raw"), "--format", "cf64"});
  EXPECT_EQ(std::filesystem::file_size(scratch.file("raw")), 80u * 16u);

  run({"--output", scratch.file("recording"), "--format", "sigmf"});
  EXPECT_EQ(std::filesystem::file_size(scratch.file("recording.sigmf-data")), 80u * 8u);
  const auto meta = nlohmann::json::parse(readFile(scratch.file("recording.sigmf-meta")));
  EXPECT_EQ(meta["global"]["core:datatype"], "cf32_le");
  EXPECT_TRUE(meta["global"]["core:version"].is_string());
  EXPECT_DOUBLE_EQ(meta["global"]["core:sample_rate"].get<double>(), 8.0);
  EXPECT_TRUE(meta["global"]["core:recorder"].is_string());
  const std::string description = meta["global"]["core:description"];
  for (const char* part :
       {"MAryNumber=4", "InputType=1", "BitToSymbolMapping=1", "FrequencySeparation=1",
        "PhaseContinuity=1", "SamplesPerSymbol=8", "signal=frame"}) {
    EXPECT_NE(description.find(part), std::string::npos) << description;
  }
  ASSERT_EQ(meta["captures"].size(), 1u);
  EXPECT_EQ(meta["captures"][0]["core:sample_start"], 0);
  EXPECT_TRUE(meta["annotations"].is_array());
  EXPECT_TRUE(meta["annotations"].empty());

  // The extension alone selects SigMF; the wider type on request.
  run({"--output", scratch.file("wide.sigmf-data"), "--sigmf-datatype", "cf64_le"});
  EXPECT_EQ(std::filesystem::file_size(scratch.file("wide.sigmf-data")), 80u * 16u);
  const auto wide = nlohmann::json::parse(readFile(scratch.file("wide.sigmf-meta")));
  EXPECT_EQ(wide["global"]["core:datatype"], "cf64_le");
  run({"--output", scratch.file("named.sigmf-meta")});
  EXPECT_EQ(std::filesystem::file_size(scratch.file("named.sigmf-data")), 80u * 8u);

  // Extensions in any case.
  run({"--output", scratch.file("upper.CF64")});
  EXPECT_EQ(std::filesystem::file_size(scratch.file("upper.CF64")), 80u * 16u);
  run({"--output", scratch.file("upper.Sigmf-Data")});
  EXPECT_EQ(std::filesystem::file_size(scratch.file("upper.sigmf-data")), 80u * 8u);
  EXPECT_TRUE(std::filesystem::exists(scratch.file("upper.sigmf-meta")));
}

TEST(RunCommand, SigmfRecordingOfAFailedRunAnnotatesTheError) {
  const ScratchDirectory scratch;
  const ProcessResult result =
      runQuenvarith({"--frame-size", "4", "--output", scratch.file("failed.sigmf-data")},
                    "1 0 1 1 0 0 1 0 1 2 0 1\n");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(std::filesystem::file_size(scratch.file("failed.sigmf-data")), 32u * 8u);
  const auto meta = nlohmann::json::parse(readFile(scratch.file("failed.sigmf-meta")));
  ASSERT_EQ(meta["annotations"].size(), 1u);
  EXPECT_EQ(meta["annotations"][0]["core:sample_start"], 32);
  EXPECT_EQ(meta["annotations"][0]["core:comment"], "Input must be binary.");
  EXPECT_TRUE(partialFiles(scratch.file("")).empty());

  // An input error whose message quotes bytes that are not UTF-8 still gives valid JSON.
  const ProcessResult bad =
      runQuenvarith({"--output", scratch.file("latin1"), "--format", "sigmf"}, "1 0 1 \xe9t\xe9\n");
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.err.find("line 1: '\\xe9t\\xe9' is not a number"), std::string::npos) << bad.err;
  const auto latin1 = nlohmann::json::parse(readFile(scratch.file("latin1.sigmf-meta")));
  ASSERT_EQ(latin1["annotations"].size(), 1u);
  EXPECT_EQ(latin1["annotations"][0]["core:comment"], "line 1: '\\xe9t\\xe9' is not a number");
}

// Whatever bytes the input or the command line holds, a message shows them escaped: none moves
// the cursor or sets the terminal's state, and none is lost (a NUL used to cut the quote short).
TEST(RunCommand, MessagesShowInputAndNamesPrintably) {
  struct Case {
    Arguments arguments;
    std::string input;
    int exitCode;
    std::string said;
  };
  std::vector<Case> cases{
      {{}, "1 0\x1b]0;title\x07 1\n", 2, "line 1: '0\\x1b]0;title\\x07' is not a number"},
      {{}, std::string("1 0\0 1\n", 7), 2, "line 1: '0\\x00' is not a number"},
      {{},
       "\xef\xbb\xbf"
       "1 0\n",
       2,
       "line 1: '\\xef\\xbb\\xbf"
       "1' is not a number"},
      {{}, "1 \xe9\x9b\n", 2, "line 1: '\\xe9\\x9b' is not a number"},
  };
#if !defined(_WIN32)
  // Arguments with control bytes, which Windows' command interpreter would not pass on.
  const std::vector<Case> named{
      {{"--mapping", "\x1b[2J"}, "", 2, "--mapping: '\\x1b[2J' is neither"},
      {{"--bogus\x1b[2J"}, "", 2, "--bogus\\x1b[2J"},
      {{"--input", "/nonexistent/\x1b[2J"}, "", 2, "the input '/nonexistent/\\x1b[2J'"},
      {{"--plugin",
        "/nonexistent/\x9b"
        "2J.so"},
       "",
       1,
       "plug-in '/nonexistent/\\x9b"
       "2J.so'"},
  };
  cases.insert(cases.end(), named.begin(), named.end());
#endif
  for (const Case& test : cases) {
    const ProcessResult result = runQuenvarith(test.arguments, test.input);
    EXPECT_EQ(result.exitCode, test.exitCode) << test.said;
    EXPECT_NE(result.err.find(test.said), std::string::npos) << result.err;
    for (const char c : result.err) {
      const auto byte = static_cast<unsigned char>(c);
      EXPECT_TRUE(c == '\n' || c == '\r' || (byte >= 0x20 && byte < 0x7f)) << result.err;
    }
  }
}

// Writing a file the run reads would destroy it (the loaded plug-in, truncated, crashed the
// program): refused before anything is written, however the file is reached.
TEST(RunCommand, AnOutputThatIsAnInputIsRefusedAndLeftAlone) {
  const ScratchDirectory scratch;
  const std::string bits = scratch.file("bits.txt");
  const std::string recording = scratch.file("rec.sigmf-meta");
  const std::string plugin = scratch.file(
      "quenvarith" + std::filesystem::path(QUENVARITH_PLUGIN_PATH).extension().string());
  writeFile(bits, "1 0 1 1\n");
  writeFile(recording, "0 1\n");
  std::filesystem::copy_file(QUENVARITH_PLUGIN_PATH, plugin);
  const std::string pluginBytes = readFile(plugin);
  struct Case {
    Arguments arguments;
    std::string said;
  };
  std::vector<Case> cases{
      {{"--input", bits, "--output", bits}, "the output '" + bits + "' is the input '" + bits},
      {{"--input", recording, "--output", scratch.file("rec"), "--format", "sigmf"},
       "is the input '" + recording},
      {{"--input", recording, "--output", scratch.file("rec.sigmf-data")}, "is the input"},
      {{"--random", "2", "--plugin", plugin, "--output", plugin}, "is the plug-in '" + plugin},
  };
#if !defined(_WIN32)
  std::filesystem::create_hard_link(bits, scratch.file("hard.txt"));
  std::filesystem::create_symlink(bits, scratch.file("soft.txt"));
  const std::vector<Case> linked{
      {{"--input", bits, "--output", scratch.file("hard.txt")}, "is the input '" + bits},
      {{"--input", scratch.file("hard.txt"), "--output", scratch.file("soft.txt")}, "is the input"},
  };
  cases.insert(cases.end(), linked.begin(), linked.end());
#endif
  const auto before = std::distance(std::filesystem::directory_iterator(scratch.file("")),
                                    std::filesystem::directory_iterator());
  for (const Case& test : cases) {
    const ProcessResult result = runQuenvarith(test.arguments);
    EXPECT_EQ(result.exitCode, 2) << test.said;
    EXPECT_NE(result.err.find(test.said), std::string::npos) << result.err;
  }
  // Standard input and output are files too.
  const ProcessResult fromStandardInput =
      runProgramOn(QUENVARITH_RUN_PATH, {"--output", bits}, bits);
  EXPECT_EQ(fromStandardInput.exitCode, 2);
  EXPECT_NE(fromStandardInput.err.find("is the input (standard input)"), std::string::npos)
      << fromStandardInput.err;

  EXPECT_EQ(readFile(bits), "1 0 1 1\n");
  EXPECT_EQ(readFile(recording), "0 1\n");
  EXPECT_TRUE(readFile(plugin) == pluginBytes);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.file("")),
                          std::filesystem::directory_iterator()),
            before);
#if !defined(_WIN32)
  // Writing to the same device as the input destroys nothing.
  EXPECT_EQ(runQuenvarith({"--input", "/dev/null", "--output", "/dev/null"}).exitCode, 0);
#endif
}

TEST(RunCommand, UsageErrorsExitWithTwoAndSayWhatIsWrong) {
  const ScratchDirectory scratch;
  const std::string folder = scratch.file("");
  struct Case {
    Arguments arguments;
    std::string input;
    std::string said;
  };
  const std::vector<Case> cases{
      {{"--bogus"}, "", "--bogus"},
      {{"--mapping", "grey"}, "", "grey"},
      {{"--signal", "burst"}, "", "burst"},
      {{"--format", "wav"}, "", "wav"},
      {{"--dispatch", "direct"}, "", "direct"},
      {{"--m-ary", "four"}, "", "is not a number"},
      {{"--sample-time", "1s"}, "", "is not a number"},
      {{"--m-ary"}, "", "--m-ary"},
      {{"--frame-size", "0"}, "", "--frame-size"},
      {{"--frame-size", "2.5"}, "", "--frame-size"},
      {{"--signal", "sample", "--frame-size", "2"}, "", "--frame-size"},
      {{"--format", "sigmf"}, "", "--output"},
      {{"--seed", "3"}, "", "--random"},
      {{"--random", "-1"}, "", "--random"},
      {{"--random", "3", "--frame-size", "4"}, "", "whole number of steps"},
      {{"--input", "/nonexistent/bits.txt"}, "", "/nonexistent/bits.txt"},
      // Options that would do nothing, or nothing sensible.
      {{"--random", "2", "--sigmf-datatype", "cf64_le"}, "", "--sigmf-datatype"},
      {{"--random", "2", "--output", folder + "x.cf32", "--sigmf-datatype", "cf32_le"},
       "",
       "--sigmf-datatype"},
      {{"--random", "2", "--plugin", ""}, "", "--plugin"},
      {{"--random", "2", "--output", ""}, "", "--output"},
      {{"--random", "2", "--output", folder + "x.SigMF", "--format", "cf32", "--sha512"},
       "",
       "--sha512"},
      // A recording with no name would be hidden files named by their extension.
      {{"--random", "2", "--output", scratch.file("dir") + "/", "--format", "sigmf"},
       "",
       "no name"},
      {{"--random", "2", "--output", folder + ".sigmf-data"}, "", "no name"},
      {{"--random", "2", "--output", folder + ".", "--format", "sigmf"}, "", "no name"},
      {{"--random", "2", "--output", folder + ".SIGMF"}, "", "no name"},
  };
  for (const Case& test : cases) {
    const ProcessResult result = runQuenvarith(test.arguments, test.input);
    EXPECT_EQ(result.exitCode, 2) << test.said;
    EXPECT_NE(result.err.find(test.said), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty()) << test.said;
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder)) << "a usage error writes nothing";
}

TEST(RunCommand, BadInputIsAUsageErrorAfterTheStepsBeforeIt) {
  const ProcessResult partial = runQuenvarith({"--quiet"}, "1 0\n1\n");
  EXPECT_EQ(partial.exitCode, 2);
  EXPECT_NE(partial.err.find("not a whole number of steps"), std::string::npos) << partial.err;
  EXPECT_EQ(linesOf(partial.out).size(), 8u);

  const ProcessResult token = runQuenvarith({"--quiet"}, "1 0\n0 1\n1 one\n");
  EXPECT_EQ(token.exitCode, 2);
  EXPECT_NE(token.err.find("line 3"), std::string::npos) << token.err;
  EXPECT_NE(token.err.find("'one'"), std::string::npos) << token.err;
  EXPECT_EQ(linesOf(token.out).size(), 16u);
}

TEST(RunCommand, InputIsReadAsNumbersWhateverTheirSpelling) {
  const ProcessResult plain = runQuenvarith({"--input-type", "integer"}, "3 0 2\n");
  const ProcessResult spelled =
      runQuenvarith({"--input-type", "integer"}, "\t+3e0\r\n0.0   \n\n 2.000\n");
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(spelled.exitCode, 0) << spelled.err;
  EXPECT_EQ(plain.out, spelled.out);
}

TEST(RunCommand, NumericValuesGoToTheBlockUnchanged) {
  // Words and their codes are the same parameters.
  const ProcessResult words = runQuenvarith({"--random", "20", "--input-type", "integer",
                                             "--mapping", "gray", "--phase", "discontinuous"});
  const ProcessResult codes =
      runQuenvarith({"--random", "20", "--input-type", "2", "--mapping", "2", "--phase", "2.0"});
  ASSERT_EQ(words.exitCode, 0) << words.err;
  EXPECT_EQ(words.out, codes.out);
  // A negative value is a value, not an option.
  const ProcessResult negative = runQuenvarith({"--m-ary", "-4"});
  EXPECT_EQ(negative.exitCode, 1);
  EXPECT_NE(negative.err.find("M-ary number parameter"), std::string::npos) << negative.err;
}

TEST(RunCommand, SampleTimesGivingNoFiniteRateAreRefusedBeforeTheRun) {
  const ScratchDirectory scratch;
  for (const std::string time : {"1e-320", "5e-324", "inf"}) {
    for (const std::string signal : {"frame", "sample"}) {
      const ProcessResult result =
          runQuenvarith({"--random", "4", "--signal", signal, "--sample-time", time, "--output",
                         scratch.file("rate"), "--format", "sigmf"});
      EXPECT_EQ(result.exitCode, 1) << time;
      EXPECT_NE(result.err.find("error: --sample-time "), std::string::npos) << result.err;
      EXPECT_TRUE(std::filesystem::is_empty(scratch.file(""))) << time;
    }
  }
}

TEST(RunCommand, ThePlugInIsFoundByItsPathAndItsNameIsChecked) {
  const ProcessResult explicitPlugin =
      runQuenvarith({"--plugin", QUENVARITH_PLUGIN_PATH, "--random", "2"});
  EXPECT_EQ(explicitPlugin.exitCode, 0) << explicitPlugin.err;
  EXPECT_EQ(explicitPlugin.out, runQuenvarith({"--random", "2"}).out);

  const ScratchDirectory scratch;
  const std::filesystem::path original(QUENVARITH_PLUGIN_PATH);
  const std::string renamed = scratch.file("renamed" + original.extension().string());
  std::filesystem::copy_file(original, renamed);
  const ProcessResult mismatch = runQuenvarith({"--plugin", renamed, "--random", "2"});
  EXPECT_EQ(mismatch.exitCode, 1);
  EXPECT_NE(mismatch.err.find("Plug-in name mismatch"), std::string::npos) << mismatch.err;
  EXPECT_NE(mismatch.err.find("\"renamed\""), std::string::npos) << mismatch.err;

  const ProcessResult missing = runQuenvarith({"--plugin", scratch.file("absent.so")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("cannot load the plug-in"), std::string::npos) << missing.err;
}

TEST(RunCommand, RandomInputFollowsItsSeed) {
  const ProcessResult first = runQuenvarith({"--random", "50", "--seed", "7"});
  const ProcessResult again = runQuenvarith({"--random", "50", "--seed", "7"});
  const ProcessResult other = runQuenvarith({"--random", "50", "--seed", "8"});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(first.out, again.out);
  EXPECT_NE(first.out, other.out);
}

#if !defined(_WIN32)
// quenvarith-run started with its standard input from a pipe that the test writes, its output
// and error in files, and the stop signals at their default action whatever the test's are.
class RunningCommand {
 public:
  RunningCommand(const Arguments& arguments, const std::string& errPath) {
    int pipeEnds[2] = {-1, -1};
    EXPECT_EQ(pipe(pipeEnds), 0);
    std::vector<std::string> words{QUENVARITH_RUN_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
      argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        (void)::signal(signal, SIG_DFL);
      }
      const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      (void)dup2(pipeEnds[0], STDIN_FILENO);
      (void)dup2(err, STDERR_FILENO);
      (void)close(pipeEnds[1]);
      execv(argv[0], argv.data());
      _exit(127);
    }
    (void)close(pipeEnds[0]);
    input_ = pipeEnds[1];
  }
  RunningCommand(const RunningCommand&) = delete;
  RunningCommand& operator=(const RunningCommand&) = delete;
  RunningCommand(RunningCommand&&) = delete;
  RunningCommand& operator=(RunningCommand&&) = delete;
  ~RunningCommand() {
    (void)close(input_);
    if (pid_ > 0) {
      (void)kill(pid_, SIGKILL);
      (void)wait();
    }
  }

  void send(const std::string& text) const {
    EXPECT_EQ(::write(input_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void signal(int number) const { (void)kill(pid_, number); }
  // Whether the program has ended, with its wait status in `status`; does not wait.
  bool exited(int& status) {
    if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return true;
    }
    return false;
  }
  // The wait status.
  int wait() {
    int status = 0;
    (void)waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
};

// Waits until `folder` holds a partial output of at least `bytes` bytes.
bool awaitPartialOutput(const std::string& folder, uintmax_t bytes) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    for (const std::string& name : partialFiles(folder)) {
      std::error_code error;
      if (std::filesystem::file_size(std::filesystem::path(folder) / name, error) >= bytes &&
          !error) {
        return true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// A stop signal ends the run at a step boundary: the recording is whole under its name and
// notes where the run stopped, and the program then dies of the signal, as a shell expects.
TEST(RunCommand, StopSignalsCloseTheRecordingThenKillTheProgram) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    const ScratchDirectory scratch;
    const std::string folder = scratch.file("");
    RunningCommand command({"--random", "100000000", "--output", folder + "/long.sigmf-data"},
                           folder + "/err");
    ASSERT_TRUE(awaitPartialOutput(folder, 1)) << readFile(folder + "/err");
    command.signal(signal);
    const int status = command.wait();
    ASSERT_TRUE(WIFSIGNALED(status)) << readFile(folder + "/err");
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_NE(readFile(folder + "/err").find("interrupted: SIG"), std::string::npos);
    const auto meta = nlohmann::json::parse(readFile(folder + "/long.sigmf-meta"));
    const uintmax_t samples = std::filesystem::file_size(folder + "/long.sigmf-data") / 8;
    EXPECT_GT(samples, 0u);
    EXPECT_EQ(samples % 8, 0u) << "whole steps only";
    ASSERT_EQ(meta["annotations"].size(), 1u);
    EXPECT_EQ(meta["annotations"][0]["core:label"], "interrupted");
    EXPECT_EQ(meta["annotations"][0]["core:sample_start"], samples);
    EXPECT_TRUE(partialFiles(folder).empty());
  }

  // Waiting for input, the run stops too, at the first step boundary after the signal.
  const ScratchDirectory scratch;
  const std::string folder = scratch.file("");
  RunningCommand waiting({"--output", folder + "/waiting.sigmf-data"}, folder + "/err");
  std::string steps;
  for (int i = 0; i < 100; ++i) {
    steps += "1 0\n";
  }
  waiting.send(steps);
  ASSERT_TRUE(awaitPartialOutput(folder, 0));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  waiting.signal(SIGINT);
  const int status = waiting.wait();
  ASSERT_TRUE(WIFSIGNALED(status)) << readFile(folder + "/err");
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  const uintmax_t samples = std::filesystem::file_size(folder + "/waiting.sigmf-data") / 8;
  EXPECT_LE(samples, 800u);
  const auto meta = nlohmann::json::parse(readFile(folder + "/waiting.sigmf-meta"));
  EXPECT_EQ(meta["annotations"][0]["core:sample_start"], samples);
  EXPECT_EQ(meta["annotations"][0]["core:comment"],
            "interrupted by SIGINT at sample " + std::to_string(samples));
}

// A write that fails ends a run whose input waits for more: it is not left waiting in a read.
TEST(RunCommand, AFailedWriteEndsARunWaitingForInput) {
  const ScratchDirectory scratch;
  RunningCommand command({"--output", "/dev/full", "--format", "cf32"}, scratch.file("err"));
  // As much as the pipe holds, so that the test's write completes whenever the program ends;
  // the program reads it all, runs it and waits for more: the input stays open.
  std::string steps;
  for (int i = 0; i < 16384; ++i) {
    steps += "1 0\n";
  }
  command.send(steps);
  int status = -1;
  for (int attempt = 0; attempt < 1000 && !command.exited(status); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(WIFEXITED(status)) << "still running";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(readFile(scratch.file("err")),
            "error: cannot write the output '/dev/full': No space left on device\n");
}

// A stopped run has saved the input it ran and no more, though more was read: one line of the
// saved input per symbol whose samples were written.
TEST(RunCommand, AStoppedRunSavesTheInputItRanAndNoMore) {
  for (const char* frameValues : {"2", "2000"}) {
    SCOPED_TRACE(frameValues);
    const ScratchDirectory scratch;
    const std::string folder = scratch.file("");
    RunningCommand command({"--random", "100000000", "--frame-size", frameValues, "--output",
                            folder + "/long.cf32", "--save-input", folder + "/bits.txt"},
                           folder + "/err");
    ASSERT_TRUE(awaitPartialOutput(folder, uintmax_t{1} << 20)) << readFile(folder + "/err");
    command.signal(SIGINT);
    const int status = command.wait();
    ASSERT_TRUE(WIFSIGNALED(status)) << readFile(folder + "/err");
    const uintmax_t samples = std::filesystem::file_size(folder + "/long.cf32") / 8;
    EXPECT_EQ(linesOf(readFile(folder + "/bits.txt")).size() * 8, samples);
    EXPECT_NE(
        readFile(folder + "/err").find("after " + std::to_string(samples) + " output samples"),
        std::string::npos);
  }
}

#if defined(QUENVARITH_HAVE_LIBARCHIVE)
// An archive and a saved input stopped by a signal are whole under their names, the archive's
// meta annotated, and no temporary file is left, not even the archive's data.
TEST(RunCommand, AStoppedArchiveAndSavedInputAreWholeAndLeaveNothingBehind) {
  const ScratchDirectory scratch;
  const std::string folder = scratch.file("");
  RunningCommand command({"--random", "100000000", "--symbol-rate", "9600", "--output",
                          folder + "/long.sigmf", "--save-input", folder + "/bits.txt"},
                         folder + "/err");
  ASSERT_TRUE(awaitPartialOutput(folder, 1)) << readFile(folder + "/err");
  command.signal(SIGTERM);
  const int status = command.wait();
  ASSERT_TRUE(WIFSIGNALED(status)) << readFile(folder + "/err");
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_TRUE(partialFiles(folder).empty());
  EXPECT_TRUE(std::filesystem::exists(folder + "/long.sigmf"));
  const std::string bits = readFile(folder + "/bits.txt");
  ASSERT_FALSE(bits.empty());
  EXPECT_EQ(bits.back(), '\n');
}
#endif

// A run killed outright leaves the earlier recording of the same name whole: its data with its
// own meta, never the new data beside the old meta.
TEST(RunCommand, AKilledRunLeavesTheEarlierRecordingAsItWas) {
  const ScratchDirectory scratch;
  const std::string folder = scratch.file("");
  const std::string name = folder + "/rec";
  ASSERT_EQ(runQuenvarith({"--random", "10", "--output", name, "--format", "sigmf"}).exitCode, 0);
  const std::string data = readFile(name + ".sigmf-data");
  const std::string meta = readFile(name + ".sigmf-meta");
  RunningCommand command({"--random", "100000000", "--sample-time", "2", "--output", name,
                          "--format", "sigmf", "--sigmf-datatype", "cf64_le"},
                         folder + "/err");
  ASSERT_TRUE(awaitPartialOutput(folder, 1));
  command.signal(SIGKILL);
  (void)command.wait();
  EXPECT_TRUE(readFile(name + ".sigmf-data") == data);
  EXPECT_EQ(readFile(name + ".sigmf-meta"), meta);
}

// Regular files are replaced whole, through a symbolic link too, keeping their permissions;
// FIFOs and devices are written as they are.
TEST(RunCommand, OutputsReplaceFilesWholeAndWriteFifosDirectly) {
  const ScratchDirectory scratch;
  const std::string folder = scratch.file("");
  const std::string expected = runQuenvarith({"--random", "10", "--format", "cf32"}).out;

  const std::string target = folder + "/target.cf32";
  writeFile(target, "earlier");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  std::filesystem::create_symlink(target, folder + "/link.cf32");
  ASSERT_EQ(runQuenvarith({"--random", "10", "--output", folder + "/link.cf32"}).exitCode, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(folder + "/link.cf32"));
  EXPECT_TRUE(readFile(target) == expected);
  EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
            std::filesystem::perms(0640));

  const std::string fifo = folder + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = readFile(fifo); });
  const ProcessResult written =
      runQuenvarith({"--random", "10", "--output", fifo, "--format", "cf32"});
  reader.join();
  EXPECT_EQ(written.exitCode, 0) << written.err;
  EXPECT_TRUE(received == expected);
  EXPECT_TRUE(partialFiles(folder).empty());

  // A file or a folder the user may not write is not replaced (root may write anything).
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(target.c_str(), 0440), 0);
    const ProcessResult readOnly = runQuenvarith({"--random", "10", "--output", target});
    EXPECT_EQ(readOnly.exitCode, 1);
    EXPECT_NE(readOnly.err.find("cannot open the output"), std::string::npos) << readOnly.err;
    const std::string closed = folder + "/closed";
    std::filesystem::create_directory(closed);
    ASSERT_EQ(chmod(closed.c_str(), 0500), 0);
    const ProcessResult inClosed =
        runQuenvarith({"--random", "10", "--output", closed + "/x", "--format", "sigmf"});
    EXPECT_EQ(inClosed.exitCode, 1);
    EXPECT_NE(inClosed.err.find("Permission denied"), std::string::npos) << inClosed.err;
    EXPECT_TRUE(std::filesystem::is_empty(closed));
  }
}
#endif

}  // namespace
}  // namespace quenvarith::testing
