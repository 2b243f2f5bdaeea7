// The engine's input sources and output writers.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/input_sources.h"
#include "engine/output_formats.h"
#include "engine/quoting.h"
#include "run_process.h"

namespace quenvarith::engine {
namespace {

using testing::readFile;
using testing::ScratchDirectory;
using testing::withUnixLineEnds;
using testing::writeFile;

TEST(ParseNumber, TakesEveryNumberSpellingAndNothingElse) {
  double value = 0.0;
  const std::vector<std::pair<std::string, double>> numbers{
      {"1", 1.0},
      {"+2.5", 2.5},
      {"-0", -0.0},
      {"1e3", 1000.0},
      {".5", 0.5},
      {"1E-2", 0.01},
      {"1e999", std::numeric_limits<double>::infinity()},
      {"-1e999", -std::numeric_limits<double>::infinity()},
      {"1e-999", 0.0}};
  for (const auto& [text, expected] : numbers) {
    ASSERT_TRUE(parseNumber(text, value)) << text;
    EXPECT_EQ(value, expected) << text;
  }
  ASSERT_TRUE(parseNumber("inf", value));
  EXPECT_TRUE(std::isinf(value));
  ASSERT_TRUE(parseNumber("nan", value));
  EXPECT_TRUE(std::isnan(value));
  for (const std::string text : {"", "+", "-", "++1", "+-1", "1x", "0x10", "1,5", "--1", "one"}) {
    EXPECT_FALSE(parseNumber(text, value)) << text;
  }
}

TEST(Quoting, EscapesWhatIsNotPlainTextAndCutsOnCharacters) {
  const std::string accented = "\xc3\xa9";  // U+00E9, two bytes
  const struct {
    std::string text;
    size_t limit;
    std::string expected;
  } cases[] = {
      {"0b1", 40, "'0b1'"},
      {"caf" + accented, 40, "'caf" + accented + "'"},
      {"\x1b]0;title\x07", 40, R"('\x1b]0;title\x07')"},
      {std::string("0\0", 2), 40, R"('0\x00')"},
      {"\xef\xbb\xbf"
       "1",
       40, R"('\xef\xbb\xbf1')"},  // byte order mark
      {std::string{'a', '\xe2', '\x80', '\xae', 'b'}, 40, R"('a\xe2\x80\xaeb')"},  // right to left
      {"\xc2\x9b"
       "2J",
       40, R"('\xc2\x9b2J')"},                                    // C1 control sequence introducer
      {"0\xe9 \xff\xc3", 40, R"('0\xe9 \xff\xc3')"},              // not UTF-8
      {"\xed\xa0\x80\xc0\xaf", 40, R"('\xed\xa0\x80\xc0\xaf')"},  // a surrogate, an overlong
      {"\xf4\x90\x80\x80", 40, R"('\xf4\x90\x80\x80')"},          // beyond U+10FFFF
      {std::string(39, 'x') + accented + "y", 40, "'" + std::string(39, 'x') + "...'"},
      {std::string(38, 'x') + accented + "y", 40, "'" + std::string(38, 'x') + accented + "...'"},
      {std::string(40, 'x'), 40, "'" + std::string(40, 'x') + "'"},
      {std::string(39, 'x') + "\x1b", 40, "'" + std::string(39, 'x') + R"(\x1b')"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(quote(test.text, test.limit), test.expected) << test.text;
    EXPECT_EQ(printable(test.expected), test.expected) << "printable text stays as it is";
  }
}

class TextInputTest : public ::testing::Test {
 protected:
  TextInput& open(const std::string& contents) {
    writeFile(path_, contents);
    file_ = std::fopen(path_.c_str(), "rb");
    input_ = std::make_unique<TextInput>(file_);
    return *input_;
  }
  void TearDown() override {
    input_.reset();
    if (file_ != nullptr) {
      (void)std::fclose(file_);
    }
  }

 private:
  ScratchDirectory scratch_;
  std::string path_ = scratch_.file("input.txt");
  std::FILE* file_ = nullptr;
  std::unique_ptr<TextInput> input_;
};

TEST_F(TextInputTest, ReadsStepsAcrossBufferBoundaries) {
  // Far more than one buffer, with tokens cut at every possible place.
  std::string contents;
  const int count = 40000;
  for (int i = 0; i < count; ++i) {
    contents += std::to_string(i) + (i % 7 == 0 ? "\r\n" : "  ");
  }
  TextInput& input = open(contents);
  std::vector<double> step(8);
  int next = 0;
  while (input.read(step) == ReadResult::Filled) {
    for (const double value : step) {
      ASSERT_EQ(value, next++);
    }
  }
  EXPECT_EQ(next, count);
  EXPECT_EQ(input.read(step), ReadResult::End);
  EXPECT_EQ(input.bytesConsumed(), contents.size());
}

TEST_F(TextInputTest, NamesTheLineOfATokenThatIsNoNumber) {
  std::string contents;
  for (int line = 1; line < 30000; ++line) {
    contents += "1 0\n";
  }
  contents += "1 0b1\n";
  TextInput& input = open(contents);
  std::vector<double> step(2);
  int steps = 0;
  ReadResult result = ReadResult::Filled;
  while ((result = input.read(step)) == ReadResult::Filled) {
    ++steps;
  }
  EXPECT_EQ(result, ReadResult::Failed);
  EXPECT_EQ(steps, 29999);
  EXPECT_EQ(input.error(), "line 30000: '0b1' is not a number");
}

TEST_F(TextInputTest, QuotesABadTokenWhole) {
  std::vector<double> step(3);
  TextInput& nul = open(std::string("1 0\0 1\n", 7));
  EXPECT_EQ(nul.read(step), ReadResult::Failed);
  EXPECT_EQ(nul.error(), "line 1: '0\\x00' is not a number");
  TextInput& latin1 = open("1 0\xe9 1\n");
  EXPECT_EQ(latin1.read(step), ReadResult::Failed);
  EXPECT_EQ(latin1.error(), "line 1: '0\\xe9' is not a number");
}

TEST_F(TextInputTest, RefusesAnIncompleteLastStepAndAnEndlessToken) {
  std::vector<double> step(4);
  TextInput& partial = open("1 2 3 4\n5 6\n");
  EXPECT_EQ(partial.read(step), ReadResult::Filled);
  EXPECT_EQ(partial.read(step), ReadResult::Failed);
  EXPECT_NE(partial.error().find("2 value(s) left after the last whole step of 4"),
            std::string::npos)
      << partial.error();

  TextInput& endless = open(std::string(200000, '7'));
  EXPECT_EQ(endless.read(step), ReadResult::Failed);
  EXPECT_NE(endless.error().find("line 1"), std::string::npos) << endless.error();
}

TEST_F(TextInputTest, EmptyInputEndsAtOnce) {
  std::vector<double> step(3);
  EXPECT_EQ(open(" \n\t\n").read(step), ReadResult::End);
}

TEST(RandomInput, GivesBitsMostSignificantFirstAndFollowsTheSeed) {
  // Three bits per symbol, read two values at a time, so symbols straddle the steps.
  RandomInput input(1000, 42, 3, true, 8);
  RandomInput again(1000, 42, 3, true, 8);
  std::vector<double> step(2);
  std::vector<double> other(2);
  std::vector<int> counts(8, 0);
  std::vector<double> bits;
  for (int i = 0; i < 1500; ++i) {
    ASSERT_EQ(input.read(step), ReadResult::Filled);
    ASSERT_EQ(again.read(other), ReadResult::Filled);
    EXPECT_EQ(step, other);
    for (const double bit : step) {
      ASSERT_TRUE(bit == 0.0 || bit == 1.0);
      bits.push_back(bit);
    }
  }
  EXPECT_EQ(input.read(step), ReadResult::End);
  for (size_t symbol = 0; symbol < bits.size(); symbol += 3) {
    ++counts[static_cast<size_t>(bits[symbol] * 4 + bits[symbol + 1] * 2 + bits[symbol + 2])];
  }
  for (const int count : counts) {
    EXPECT_GT(count, 60);  // about 125 each
  }
}

// Recordings name the seed and the generator, so the symbols of a seed must never change: each
// is one 64-bit draw of the generator below the last whole run of M values (rejected above it),
// taken modulo M, however the source computes it.
TEST(RandomInput, KeepsTheSymbolsOfEverySeed) {
  struct Case {
    int32_t mAryNumber;
    bool bits;
  };
  for (const Case c : {Case{2, true}, Case{8, true}, Case{256, true}, Case{3, false},
                       Case{5, false}, Case{64, false}, Case{1000003, false}}) {
    const int32_t perSymbol =
        c.bits ? static_cast<int32_t>(std::bit_width(static_cast<uint32_t>(c.mAryNumber))) - 1 : 1;
    constexpr uint64_t kSymbols = 500;
    RandomInput input(kSymbols, 99, perSymbol, c.bits, c.mAryNumber);
    std::mt19937_64 reference(99);
    const auto m = static_cast<uint64_t>(c.mAryNumber);
    const uint64_t limit = UINT64_MAX - UINT64_MAX % m;
    std::vector<double> values(static_cast<size_t>(perSymbol));
    for (uint64_t symbol = 0; symbol < kSymbols; ++symbol) {
      uint64_t draw = reference();
      while (draw >= limit) {
        draw = reference();
      }
      const uint64_t expected = draw % m;
      ASSERT_EQ(input.read(values), ReadResult::Filled);
      uint64_t got = 0;
      for (const double value : values) {
        got = c.bits ? got * 2 + static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
      }
      ASSERT_EQ(got, expected) << "M " << c.mAryNumber << ", symbol " << symbol;
    }
  }
}

// Wider symbols than a draw's 64 bits (an alphabet caps at 2^63) lead with zeros, read whole
// or cut anywhere, rather than shifting a draw by its width or more.
TEST(RandomInput, LeadsSymbolsWiderThanADrawWithZeros) {
  constexpr int32_t kWidth = 70;
  for (const size_t chunk : {size_t{70}, size_t{3}}) {
    RandomInput input(2, 5, kWidth, true, 2);
    std::vector<double> values;
    std::vector<double> step(chunk);
    while (input.readAvailable(step) == chunk) {
      values.insert(values.end(), step.begin(), step.end());
    }
    ASSERT_GE(values.size(), 2 * size_t{kWidth} - chunk);
    for (size_t i = 0; i < values.size(); ++i) {
      const size_t place = kWidth - 1 - i % kWidth;
      if (place >= 63) {
        EXPECT_EQ(values[i], 0.0) << "chunk " << chunk << ", value " << i;
      } else {
        EXPECT_TRUE(values[i] == 0.0 || values[i] == 1.0) << values[i];
      }
    }
  }
}

TEST(RandomInput, GivesIntegersBelowMAndRefusesAnIncompleteStep) {
  RandomInput input(10, 1, 1, false, 5);
  std::vector<double> step(4);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(input.read(step), ReadResult::Filled);
    for (const double value : step) {
      EXPECT_TRUE(value >= 0.0 && value <= 4.0 && value == std::floor(value)) << value;
    }
  }
  EXPECT_EQ(input.read(step), ReadResult::Failed);
  EXPECT_NE(input.error().find("2 value(s) left"), std::string::npos) << input.error();
}

class OutputFormatTest : public ::testing::Test {
 protected:
  std::string written(OutputFormat format, const std::vector<double>& samples) {
    const std::string path = scratch_.file("out");
    std::string error;
    RecordingInfo info;
    info.samplePeriod = 0.25;
    const auto writer = openOutput(format, path, info, error);
    EXPECT_NE(writer, nullptr) << error;
    if (writer == nullptr) {
      return {};
    }
    EXPECT_TRUE(writer->write(samples));
    EXPECT_TRUE(writer->close(nullptr));
    return readFile(path);
  }

  ScratchDirectory scratch_;
};

TEST_F(OutputFormatTest, TextAndCsvPrintSeventeenSignificantDigits) {
  EXPECT_EQ(withUnixLineEnds(written(OutputFormat::Text, {0.1, -2.0})), "0.10000000000000001 -2\n");
  EXPECT_EQ(withUnixLineEnds(written(OutputFormat::Csv, {0.1, -2.0, 1.0 / 3.0, -0.0})),
            "index,time,re,im\n0,0,0.10000000000000001,-2\n1,0.25,0.33333333333333331,-0\n");
  // Exactly what printf's %.17g makes of awkward values.
  const std::vector<double> awkward{1e-300,
                                    6.123233995736766e-17,
                                    -1.0 / 7.0,
                                    123456789012345678.0,
                                    1e21,
                                    5e-324,
                                    std::numeric_limits<double>::max(),
                                    -0.0};
  std::string expected;
  for (size_t i = 0; i < awkward.size(); i += 2) {
    std::array<char, 64> line{};
    (void)std::snprintf(line.data(), line.size(), "%.17g %.17g\n", awkward[i], awkward[i + 1]);
    expected += line.data();
  }
  EXPECT_EQ(withUnixLineEnds(written(OutputFormat::Text, awkward)), expected);
}

TEST_F(OutputFormatTest, RawFormatsAreLittleEndianAndSaturate) {
  const std::string cf32 = written(OutputFormat::Cf32, {-1.0, 1e300});
  EXPECT_EQ(cf32, std::string("\x00\x00\x80\xbf\x00\x00\x80\x7f", 8));  // -1, +infinity
  const std::string cf64 = written(OutputFormat::Cf64, {2.0, 0.0});
  EXPECT_EQ(cf64, std::string("\0\0\0\0\0\0\0\x40\0\0\0\0\0\0\0\0", 16));
}

TEST_F(OutputFormatTest, Cf32NarrowsEveryValueAsOneAtATimeWould) {
  // Every awkward value at every position of an eight-wide step, in a run longer than one pass
  // of the converter and not a multiple of eight.
  constexpr double kLargest = std::numeric_limits<float>::max();
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  const std::array<double, 13> awkward{
      0.1,
      -0.0,
      kLargest,
      -kLargest,
      std::nextafter(kLargest, kInfinity),  // rounds to the largest
      -std::nextafter(kLargest, kInfinity),
      1e300,
      -kInfinity,
      std::numeric_limits<double>::quiet_NaN(),
      1e-320,  // becomes 0
      std::numeric_limits<float>::denorm_min(),
      1.0 + 1e-9,
      -0.7071067811865476};
  std::vector<double> samples;
  for (size_t index = 0; samples.size() < 2 * 1024 + 2 * 13 + 2; ++index) {
    samples.push_back(awkward[index % awkward.size()]);
  }
  std::string expected;
  for (const double value : samples) {
    auto single = static_cast<float>(value);
    if (value > kLargest) {
      single = std::numeric_limits<float>::infinity();
    } else if (value < -kLargest) {
      single = -std::numeric_limits<float>::infinity();
    }
    std::array<char, sizeof(float)> bytes{};
    const auto bits = std::bit_cast<uint32_t>(single);
    for (size_t byte = 0; byte < bytes.size(); ++byte) {
      bytes[byte] = static_cast<char>((bits >> (8U * byte)) & 0xffU);
    }
    expected.append(bytes.data(), bytes.size());
  }
  EXPECT_EQ(written(OutputFormat::Cf32, samples), expected);
}

TEST_F(OutputFormatTest, NamesAndOpenFailures) {
  EXPECT_EQ(formatFromPath("a/b.csv"), OutputFormat::Csv);
  EXPECT_EQ(formatFromPath("x.cf32"), OutputFormat::Cf32);
  EXPECT_EQ(formatFromPath("x.cf64"), OutputFormat::Cf64);
  EXPECT_EQ(formatFromPath("x.sigmf-meta"), OutputFormat::Sigmf);
  EXPECT_EQ(formatFromPath("x.sigmf-data"), OutputFormat::Sigmf);
  EXPECT_EQ(formatFromPath("x.dat"), OutputFormat::Text);
  EXPECT_EQ(formatFromPath("-"), OutputFormat::Text);
  EXPECT_EQ(formatFromPath("X.CF32"), OutputFormat::Cf32);
  EXPECT_EQ(formatFromPath("x.Csv"), OutputFormat::Csv);
  EXPECT_EQ(formatFromPath("x.SIGMF-META"), OutputFormat::Sigmf);
  EXPECT_EQ(sigmfBaseName("dir/N.SIGMF-DATA"), "dir/N");
  EXPECT_TRUE(isSigmfArchive("x.SIGMF"));
  EXPECT_FALSE(isSigmfArchive("x.sigmf-data"));
  for (const std::string name : {"", "dir/", ".sigmf-data", "dir/.sigmf-meta", ".", "dir/.."}) {
    EXPECT_FALSE(namesARecording(name)) << name;
  }
  for (const std::string name : {"x", "dir/x.sigmf-data", ".x", "dir/..x"}) {
    EXPECT_TRUE(namesARecording(name)) << name;
  }
  EXPECT_EQ(outputFiles(OutputFormat::Sigmf, "d/x.sigmf-meta"),
            (std::vector<std::string>{"d/x.sigmf-data", "d/x.sigmf-meta"}));
  EXPECT_EQ(outputFiles(OutputFormat::Csv, "d/x"), std::vector<std::string>{"d/x"});
  EXPECT_TRUE(outputFiles(OutputFormat::Text, "-").empty());
  EXPECT_EQ(sigmfBaseName("dir/name.sigmf-data"), "dir/name");
  EXPECT_EQ(sigmfBaseName("dir/name.sigmf-meta"), "dir/name");
  EXPECT_EQ(sigmfBaseName("name"), "name");

  std::string error;
  EXPECT_EQ(openOutput(OutputFormat::Text, scratch_.file("no/such/dir/out"), {}, error), nullptr);
  EXPECT_NE(error.find("cannot open the output"), std::string::npos) << error;
  EXPECT_EQ(openOutput(OutputFormat::Sigmf, "-", {}, error), nullptr);
}

}  // namespace
}  // namespace quenvarith::engine
