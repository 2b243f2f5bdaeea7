// End-to-end tests of quenvarith-run in a radio engineer's terms: rates in hertz, padding, bytes
// and messages in, saved input, what is said before the run and what a recording carries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#if defined(QUENVARITH_HAVE_LIBARCHIVE)
#include <archive.h>
#include <archive_entry.h>
#endif
#if defined(QUENVARITH_HAVE_LIBCRYPTO)
#include <openssl/evp.h>
#endif

#include "run_process.h"

namespace quenvarith::testing {
namespace {

using Arguments = std::vector<std::string>;

Arguments joined(Arguments first, const Arguments& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// Interleaved doubles of a cf64 output.
std::vector<double> doublesOf(const std::string& bytes) {
  std::vector<double> values(bytes.size() / sizeof(double));
  std::memcpy(values.data(), bytes.data(), values.size() * sizeof(double));
  return values;
}

ProcessResult runOk(const Arguments& arguments, const std::string& input = "") {
  ProcessResult result = runQuenvarith(arguments, input);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result;
}

TEST(RadioTerms, ARateInHertzGivesTheSameSignalWhateverTheFrameSize) {
  struct Case {
    Arguments pace;
    Arguments modulation;
  };
  const std::vector<Case> cases{
      {{"--symbol-rate", "1200"}, {"--m-ary", "4", "--separation", "600"}},
      {{"--sample-rate", "9600"}, {"--m-ary", "4", "--separation", "600"}},
      {{"--symbol-rate", "300"},
       {"--m-ary", "8", "--separation", "700", "--phase", "discontinuous", "--samples-per-symbol",
        "5"}},
      {{"--symbol-rate", "0.3"},
       {"--m-ary", "2", "--separation", "0.45", "--input-type", "integer"}},
  };
  for (const Case& test : cases) {
    const Arguments common = joined(joined(test.pace, test.modulation),
                                    {"--random", "999", "--format", "cf64", "--quiet"});
    const std::vector<double> reference =
        doublesOf(runOk(joined(common, {"--signal", "sample"})).out);
    ASSERT_FALSE(reference.empty()) << test.pace[0];
    const bool integers = test.modulation.back() == "integer";
    for (const std::string frame : {"", "6", "24", "3000", "6144"}) {
      const Arguments sized = frame.empty() ? common : joined(common, {"--frame-size", frame});
      const std::vector<double> samples = doublesOf(runOk(sized).out);
      ASSERT_EQ(samples.size(), reference.size()) << test.pace[1] << " frame " << frame;
      double worst = 0.0;
      for (size_t i = 0; i < samples.size(); ++i) {
        worst = std::max(worst, std::fabs(samples[i] - reference[i]));
      }
      EXPECT_LE(worst, 1e-9) << test.pace[1] << " frame " << frame;
      if (integers) {
        break;  // one value per symbol: every frame size gives the same steps
      }
    }
  }
}

TEST(RadioTerms, RecordingRatesComeFromTheRateInHertz) {
  const ScratchDirectory scratch;
  runOk({"--symbol-rate", "1200", "--random", "3", "--quiet", "--output",
         scratch.file("rec.sigmf-data")});
  const auto meta = nlohmann::json::parse(readFile(scratch.file("rec.sigmf-meta")));
  EXPECT_EQ(meta["global"]["core:sample_rate"].get<double>(), 9600.0);
  runOk(
      {"--sample-rate", "48000", "--random", "3", "--quiet", "--output", scratch.file("rec.csv")});
  const std::vector<std::string> rows = linesOf(readFile(scratch.file("rec.csv")));
  ASSERT_EQ(rows.size(), 25u);
  EXPECT_EQ(rows[3].substr(0, rows[3].find(',', 2)), "2,4.1666666666666665e-05");
}

TEST(RadioTerms, PaddingWritesEverySymbolThatCarriesInputAndNoOther) {
  struct Case {
    Arguments arguments;
    std::string input;
    std::string padded;  // the input completed by hand, whose output begins the same
    size_t lines;
  };
  const std::vector<Case> cases{
      // A frame of two symbols cut after one: the padding symbol is not written.
      {{"--frame-size", "4", "--pad"}, "1 0 1 1 0 1", "1 0 1 1 0 1 0 0", 24},
      // A symbol of three bits cut after one: padded with zero bits and written.
      {{"--m-ary", "8", "--pad"}, "1 0 1 1", "1 0 1 1 0 0", 16},
      {{"--m-ary", "8", "--symbol-rate", "100"}, "1 1 0 1 0 1 1", "1 1 0 1 0 1 1 0 0", 24},
      {{"--input-type", "integer", "--frame-size", "5", "--pad"}, "3 1 2", "3 1 2 0 0", 24},
      {{"--signal", "sample", "--m-ary", "16", "--pad"}, "1 0 1 1 1", "1 0 1 1 1 0 0 0", 16},
  };
  for (const Case& test : cases) {
    const Arguments arguments = joined(test.arguments, {"--quiet"});
    const std::vector<std::string> padded = linesOf(runOk(arguments, test.input).out);
    ASSERT_EQ(padded.size(), test.lines) << test.input;
    std::vector<std::string> byHand = linesOf(runOk(arguments, test.padded).out);
    ASSERT_GE(byHand.size(), test.lines) << test.padded;
    byHand.resize(test.lines);
    EXPECT_EQ(padded, byHand) << test.input;
  }
  // Random symbols that do not fill the last frame of 1024 symbols.
  EXPECT_EQ(linesOf(runOk({"--random", "1000", "--symbol-rate", "1200", "--quiet"}).out).size(),
            8000u);
  // Without a rate in hertz or --pad, a step cut short stays an error that says what helps.
  const ProcessResult cut = runQuenvarith({"--frame-size", "4", "--quiet"}, "1 0 1 1 0 1");
  EXPECT_EQ(cut.exitCode, 2);
  EXPECT_NE(cut.err.find("--pad"), std::string::npos) << cut.err;
  EXPECT_EQ(linesOf(cut.out).size(), 16u);
}

TEST(RadioTerms, BytesAndMessagesAreTheSameBitsAsNumbers) {
  struct Case {
    Arguments arguments;
    std::string input;
    std::string numbers;
  };
  const std::vector<Case> cases{
      {{"--input-format", "bytes"}, "Hi", "0 1 0 0 1 0 0 0  0 1 1 0 1 0 0 1"},
      {{"--message", "Hi"}, "", "0 1 0 0 1 0 0 0  0 1 1 0 1 0 0 1"},
      {{"--message", "\xc3\xa9", "--m-ary", "16"}, "", "1 1 0 0 0 0 1 1 1 0 1 0 1 0 0 1"},
      {{"--input-format", "bytes", "--input-type", "integer", "--m-ary", "256"},
       std::string("\x00\x07\xff\x80", 4),
       "0 7 255 128"},
      {{"--message", "AB", "--input-type", "integer", "--m-ary", "128"}, "", "65 66"},
      // Bytes that are white space or no digit at all are bits like any other.
      {{"--input-format", "bytes", "--m-ary", "2"},
       std::string("\n\x00", 2),
       "0 0 0 0 1 0 1 0  0 0 0 0 0 0 0 0"},
  };
  for (const Case& test : cases) {
    const Arguments common{"--quiet", "--symbol-rate", "100", "--separation", "5"};
    const ProcessResult bytes = runOk(joined(common, test.arguments), test.input);
    Arguments asNumbers;
    for (size_t i = 0; i < test.arguments.size(); ++i) {
      if (test.arguments[i] == "--input-format" || test.arguments[i] == "--message") {
        ++i;
      } else {
        asNumbers.push_back(test.arguments[i]);
      }
    }
    const ProcessResult numbers = runOk(joined(common, asNumbers), test.numbers);
    EXPECT_FALSE(bytes.out.empty()) << test.numbers;
    EXPECT_EQ(bytes.out, numbers.out) << test.numbers;
  }
}

TEST(RadioTerms, SavedInputReproducesTheRecordingByteForByte) {
  const ScratchDirectory scratch;
  struct Case {
    Arguments arguments;
    std::string input;
  };
  const std::vector<Case> cases{
      {{"--random", "1001", "--m-ary", "8", "--symbol-rate", "1200"}, ""},
      {{"--random", "77", "--input-type", "integer", "--m-ary", "5", "--seed", "9"}, ""},
      {{"--message", "known data", "--sample-rate", "9600"}, ""},
      {{"--input-format", "bytes", "--m-ary", "8", "--pad"}, "abcd"},
      {{"--frame-size", "4"}, "1 0 1.0 +1\n0 0 1 1\n"},
  };
  int run = 0;
  for (const Case& test : cases) {
    const std::string saved = scratch.file("saved" + std::to_string(run) + ".txt");
    const std::string first = scratch.file("first" + std::to_string(run) + ".cf32");
    const std::string second = scratch.file("second" + std::to_string(run) + ".cf32");
    ++run;
    runOk(joined(test.arguments, {"--quiet", "--save-input", saved, "--output", first}),
          test.input);
    Arguments again;
    for (size_t i = 0; i < test.arguments.size(); ++i) {
      const std::string& option = test.arguments[i];
      if (option == "--random" || option == "--seed" || option == "--message" ||
          option == "--input-format") {
        ++i;
      } else {
        again.push_back(option);
      }
    }
    runOk(joined(again, {"--quiet", "--input", saved, "--output", second}));
    EXPECT_FALSE(readFile(first).empty()) << saved;
    EXPECT_EQ(readFile(first), readFile(second)) << saved;
  }
  // One symbol a line, as numbers: 3 bits of 8-FSK, the padding left out.
  runOk({"--m-ary", "8", "--pad", "--quiet", "--save-input", scratch.file("bits.txt")}, "1 0 1 1");
  EXPECT_EQ(withUnixLineEnds(readFile(scratch.file("bits.txt"))), "1 0 1\n1\n");
  for (const auto& entry : std::filesystem::directory_iterator(scratch.file(""))) {
    EXPECT_EQ(entry.path().string().find(".partial-"), std::string::npos) << entry.path();
  }
}

TEST(RadioTerms, TheMetaCarriesTheRunInItsOwnNamespace) {
  const ScratchDirectory scratch;
  runOk({"--m-ary",       "4",
         "--mapping",     "gray",
         "--separation",  "600",
         "--symbol-rate", "1200",
         "--random",      "100",
         "--seed",        "42",
         "--quiet",       "--center-frequency",
         "144.8e6",       "--datetime",
         "--author",      "G0ABC",
         "--output",      scratch.file("run.sigmf-data")});
  const auto meta = nlohmann::json::parse(readFile(scratch.file("run.sigmf-meta")));
  const auto& global = meta["global"];
  EXPECT_EQ(global["core:num_channels"], 1);
  EXPECT_EQ(global["core:author"], "G0ABC");
  ASSERT_EQ(global["core:extensions"].size(), 1u);
  EXPECT_EQ(global["core:extensions"][0]["name"], "quenvarith");
  EXPECT_TRUE(global["core:extensions"][0]["version"].is_string());
  EXPECT_EQ(global["core:extensions"][0]["optional"], true);
  const std::map<std::string, nlohmann::json> expected{
      {"m_ary_number", 4.0},
      {"input_type", "bit"},
      {"bit_to_symbol_mapping", "gray"},
      {"frequency_separation", 600.0},
      {"phase_continuity", "continuous"},
      {"samples_per_symbol", 8.0},
      {"signal", "frame"},
      {"frame_size", 2048},
      {"symbol_rate", 1200.0},
      {"tone_frequencies", {-900.0, -300.0, 300.0, 900.0}},
      {"seed", 42},
      {"generator", "mt19937_64"},
  };
  for (const auto& [key, value] : expected) {
    EXPECT_EQ(global["quenvarith:" + key], value) << key;
  }
  const auto& capture = meta["captures"][0];
  EXPECT_EQ(capture["core:frequency"].get<double>(), 144.8e6);
  const std::string datetime = capture["core:datetime"];
  EXPECT_EQ(datetime.size(), 20u) << datetime;  // 2026-01-31T12:34:56Z
  EXPECT_EQ(datetime.back(), 'Z') << datetime;
  EXPECT_EQ(datetime[10], 'T') << datetime;

  // Read input has no seed, a description of one's own replaces the parameters', and without
  // --datetime two runs give the same recording.
  for (const std::string name : {"a", "b"}) {
    runOk({"--quiet", "--input-type", "integer", "--description", "test burst", "--output",
           scratch.file(name + ".sigmf-meta")},
          "1 2 3");
  }
  const std::string first = readFile(scratch.file("a.sigmf-meta"));
  EXPECT_EQ(first, readFile(scratch.file("b.sigmf-meta")));
  const auto read = nlohmann::json::parse(first);
  EXPECT_FALSE(read["global"].contains("quenvarith:seed"));
  EXPECT_FALSE(read["captures"][0].contains("core:datetime"));
  EXPECT_FALSE(read["captures"][0].contains("core:frequency"));
  EXPECT_EQ(read["global"]["core:description"], "test burst");
  EXPECT_EQ(read["global"]["quenvarith:input_type"], "integer");
  EXPECT_EQ(read["global"]["quenvarith:frame_size"], 1);
}

#if defined(QUENVARITH_HAVE_LIBCRYPTO)
std::string sha512Of(const std::string& bytes) {
  std::vector<unsigned char> digest(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha512(), nullptr),
            1);
  std::string hex;
  for (unsigned i = 0; i < length; ++i) {
    constexpr const char* kDigits = "0123456789abcdef";
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 0x0f];
  }
  return hex;
}

TEST(RadioTerms, Sha512IsThatOfTheDataWritten) {
  const ScratchDirectory scratch;
  for (const std::string datatype : {"cf32_le", "cf64_le"}) {
    // Big enough for the data to pass through the writer's buffer several times.
    runOk({"--random", "30000", "--quiet", "--sha512", "--sigmf-datatype", datatype, "--output",
           scratch.file(datatype + ".sigmf-data")});
    const auto meta = nlohmann::json::parse(readFile(scratch.file(datatype + ".sigmf-meta")));
    EXPECT_EQ(meta["global"]["core:sha512"],
              sha512Of(readFile(scratch.file(datatype + ".sigmf-data"))))
        << datatype;
  }
}
#endif

#if defined(QUENVARITH_HAVE_LIBARCHIVE)
// The members of a tar archive, by name.
std::map<std::string, std::string> archiveMembers(const std::string& path) {
  std::map<std::string, std::string> members;
  archive* reader = archive_read_new();
  archive_read_support_format_tar(reader);
  EXPECT_EQ(archive_read_open_filename(reader, path.c_str(), 1 << 16), ARCHIVE_OK) << path;
  archive_entry* entry = nullptr;
  while (archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
    std::string contents;
    std::vector<char> buffer(1 << 16);
    for (;;) {
      const la_ssize_t count = archive_read_data(reader, buffer.data(), buffer.size());
      EXPECT_GE(count, 0) << archive_error_string(reader);
      if (count <= 0) {
        break;
      }
      contents.append(buffer.data(), static_cast<size_t>(count));
    }
    members[archive_entry_pathname(entry)] = contents;
  }
  archive_read_free(reader);
  return members;
}

TEST(RadioTerms, ASigmfArchiveHoldsTheRecordingUnderItsName) {
  const ScratchDirectory scratch;
  const Arguments common{"--random", "5000", "--quiet", "--sha512", "--symbol-rate", "1200"};
  runOk(joined(common, {"--output", scratch.file("plain.sigmf-data")}));
  // The extension alone selects the archive, as --format does.
  runOk(joined(common, {"--output", scratch.file("burst.sigmf")}));
  runOk(joined(common, {"--output", scratch.file("other"), "--format", "sigmf-archive"}));
  for (const std::string name : {"burst", "other"}) {
    const std::map<std::string, std::string> members =
        archiveMembers(scratch.file(name + ".sigmf"));
    ASSERT_EQ(members.size(), 3u) << name;
    const std::string directory = name + "/";
    EXPECT_TRUE(members.contains(directory)) << name;
    const std::string member = directory + name;
    EXPECT_EQ(members.at(member + ".sigmf-data"), readFile(scratch.file("plain.sigmf-data")))
        << name;
    EXPECT_EQ(members.at(member + ".sigmf-meta"), readFile(scratch.file("plain.sigmf-meta")))
        << name;
  }
  // Nothing is left beside the archives.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(scratch.file(""))) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 4u);
}
#else
TEST(RadioTerms, ABuildWithoutTheLibrariesRefusesArchivesAndHashes) {
  for (const Arguments& arguments :
       {Arguments{"--output", "x.sigmf"}, Arguments{"--output", "x.sigmf-data", "--sha512"}}) {
    const ProcessResult result = runQuenvarith(joined(arguments, {"--random", "2"}));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("this build"), std::string::npos) << result.err;
  }
}
#endif

TEST(RadioTerms, WarningsSayWhereTonesAliasOrCoincide) {
  struct Case {
    Arguments arguments;
    std::vector<std::string> warnings;
  };
  const std::vector<Case> cases{
      {{"--m-ary", "16"}, {"at or beyond half the sample rate", "tones 0 and 8"}},
      {{"--m-ary", "8", "--separation", "1.2"}, {"at or beyond half the sample rate"}},
      {{"--separation", "0"}, {"tones 0 and 1"}},
      {{"--m-ary", "4", "--separation", "600", "--symbol-rate", "1200"}, {}},
      {{"--m-ary", "4", "--separation", "1e-3", "--sample-rate", "1e300"}, {}},
  };
  const ScratchDirectory scratch;
  for (const Case& test : cases) {
    const Arguments arguments = joined(test.arguments, {"--random", "4", "--quiet"});
    const ProcessResult result = runOk(arguments);
    EXPECT_FALSE(result.out.empty());
    for (const std::string& warning : test.warnings) {
      EXPECT_NE(result.err.find("warning: "), std::string::npos) << result.err;
      EXPECT_NE(result.err.find(warning), std::string::npos) << result.err;
    }
    if (test.warnings.empty()) {
      EXPECT_EQ(result.err, "") << test.arguments[1];
      continue;
    }
    // --strict makes them usage errors, before anything is written.
    const std::string output = scratch.file("strict.cf32");
    const ProcessResult strict = runQuenvarith(joined(arguments, {"--strict", "--output", output}));
    EXPECT_EQ(strict.exitCode, 2);
    EXPECT_NE(strict.err.find(test.warnings[0]), std::string::npos) << strict.err;
    EXPECT_FALSE(std::filesystem::exists(output));
  }
}

TEST(RadioTerms, TheSummaryAndNotesOnRequestNeverWithQuiet) {
  const Arguments common{"--m-ary",       "4",    "--mapping", "gray", "--separation", "600",
                         "--symbol-rate", "1200", "--random",  "4"};
  const ProcessResult summary = runOk(joined(common, {"--summary"}));
  for (const char* part : {"4-FSK", "2 bits per symbol", "gray mapping", "-900 -300 300 900",
                           "symbol rate 1200 Hz", "sample rate 9600 Hz", "8 samples per symbol",
                           "h = 0.5", "continuous phase", "(Carson) 4200 Hz"}) {
    EXPECT_NE(summary.err.find(part), std::string::npos) << part << '\n' << summary.err;
  }
  EXPECT_EQ(runOk(joined(common, {"--summary", "--quiet"})).err, "");
  EXPECT_EQ(runOk(common).err, "");  // standard error is no terminal here

  const Arguments integers{"--input-type", "integer", "--mapping", "gray", "--random", "4"};
  EXPECT_NE(runOk(integers).err.find("note: --mapping does not affect integer input"),
            std::string::npos);
  EXPECT_EQ(runOk(joined(integers, {"--quiet"})).err, "");
}

TEST(RadioTerms, EveryNewOptionRefusesABadValueAndWritesNothing) {
  struct Case {
    Arguments arguments;
    std::string named;
  };
  std::vector<Case> cases;
  for (const std::string option : {"--symbol-rate", "--sample-rate", "--center-frequency"}) {
    for (const std::string value : {"0", "-1200", "nan", "inf", "-inf", "1200Hz", "", "1e400"}) {
      cases.push_back({{option, value}, option});
    }
  }
  const std::vector<Case> more{
      {{"--symbol-rate", "1e-320"}, "--symbol-rate"},
      {{"--sample-rate", "1e-316"}, "--sample-rate"},
      {{"--symbol-rate", "1e308", "--samples-per-symbol", "8"}, "--symbol-rate"},
      {{"--symbol-rate", "1200", "--sample-time", "1"}, "--sample-time"},
      {{"--symbol-rate", "1200", "--sample-rate", "9600"}, "--sample-rate"},
      {{"--message", ""}, "--message"},
      {{"--message", "hi", "--input-format", "numbers"}, "--message"},
      {{"--message", "hi", "--random", "3"}, "--message"},
      {{"--input-format", "text"}, "--input-format"},
      {{"--input-format", "bytes", "--random", "3"}, "--input-format"},
      {{"--input-format", "bytes", "--input", "/nonexistent/bytes.bin"}, "/nonexistent/bytes.bin"},
      {{"--save-input", ""}, "--save-input"},
      {{"--save-input", "-"}, "--save-input"},
      {{"--save-input", "/nonexistent/dir/saved.txt"}, "/nonexistent/dir/saved.txt"},
      {{"--description", ""}, "--description"},
      {{"--author", ""}, "--author"},
      {{"--sha512"}, "--sha512"},
      {{"--datetime"}, "--datetime"},
  };
  cases.insert(cases.end(), more.begin(), more.end());
  const ScratchDirectory scratch;
  for (const Case& test : cases) {
    const Arguments arguments = joined(test.arguments, {"--quiet"});
    const bool recording = test.named == "--center-frequency" || test.named == "--description" ||
                           test.named == "--author";
    const std::string output = scratch.file(recording ? "out.sigmf-data" : "out.txt");
    const ProcessResult result = runQuenvarith(joined(arguments, {"--output", output}), "1 0");
    EXPECT_EQ(result.exitCode, 2) << test.arguments[0] << " " << test.arguments.back();
    EXPECT_NE(result.err.find(test.named), std::string::npos) << result.err;
    EXPECT_TRUE(std::filesystem::is_empty(scratch.file(""))) << test.arguments[0];
    std::filesystem::remove_all(scratch.file(""));
    std::filesystem::create_directories(scratch.file(""));
  }
}

TEST(RadioTerms, TheSavedInputIsNeverTheInputNorTheOutput) {
  const ScratchDirectory scratch;
  const std::string input = scratch.file("bits.txt");
  writeFile(input, "1 0 1 1\n");
  struct Case {
    Arguments arguments;
    std::string said;
  };
  const std::vector<Case> cases{
      {{"--input", input, "--save-input", input}, "is the input"},
      {{"--input", input, "--input-format", "bytes", "--save-input", input}, "is the input"},
      {{"--random", "4", "--save-input", scratch.file("same.cf32"), "--output",
        scratch.file("same.cf32")},
       "the same file"},
      {{"--random", "4", "--save-input", scratch.file("r.sigmf-meta"), "--output",
        scratch.file("r.sigmf-data")},
       "the same file"},
  };
  for (const Case& test : cases) {
    if (test.arguments.back().ends_with(".cf32") || test.arguments.back().ends_with("-data")) {
      writeFile(test.arguments[3], "earlier");  // a file there already, which stays as it was
    }
    const ProcessResult result = runQuenvarith(joined(test.arguments, {"--quiet"}));
    EXPECT_EQ(result.exitCode, 2) << test.said;
    EXPECT_NE(result.err.find(test.said), std::string::npos) << result.err;
    EXPECT_EQ(readFile(input), "1 0 1 1\n");
  }
  EXPECT_EQ(readFile(scratch.file("same.cf32")), "earlier");
  EXPECT_EQ(readFile(scratch.file("r.sigmf-meta")), "earlier");
}

TEST(RadioTerms, HelpSpeaksInPhysicalUnitsAndTheVersionIsPrinted) {
  const ProcessResult help = runOk({"--help"});
  for (const char* part :
       {"[MAryNumber]", "[InputType", "[BitToSymbolMapping", "[FrequencySeparation]",
        "[PhaseContinuity", "[SamplesPerSymbol]", "--symbol-rate HZ", "--sample-rate HZ",
        "--center-frequency HZ", "SECONDS", "--pad", "--message TEXT", "--save-input FILE",
        "--strict", "--summary", "keeps every completed step", "Examples:", "i XOR (i >> 1)"}) {
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(help.out.find("ROWS"), std::string::npos);
  const ProcessResult version = runOk({"--version"});
  EXPECT_EQ(withUnixLineEnds(version.out),
            std::string("quenvarith-run ") + QUENVARITH_VERSION + "\n");
}

}  // namespace
}  // namespace quenvarith::testing
