#include "block/symbol_mapping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "block/parameter_codes.h"
#include "test_records.h"

namespace quenvarith {
namespace {

constexpr const char* kNotBinary = "Input must be binary.";
constexpr const char* kOutOfRange = "Input must be an integer in the range of 0 to M-1.";
constexpr const char* kBadInputType = "Invalid input type.";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(BitsPerSymbol, IsFloorOfLog2) {
  const std::vector<std::pair<int32_t, int32_t>> cases{{1, 0}, {2, 1}, {3, 1},  {4, 2},    {6, 2},
                                                       {7, 2}, {8, 3}, {16, 4}, {1024, 10}};
  for (const auto& [mAryNumber, bits] : cases) {
    EXPECT_EQ(bitsPerSymbol(mAryNumber), bits) << "M = " << mAryNumber;
  }
}

TEST(SymbolsPerFrame, CountsWholeGroupsOfBitsOrOneSymbolPerInteger) {
  constexpr int32_t kBits = codeOf(InputType::Bit);
  EXPECT_EQ(symbolsPerFrame(kBits, 6, 2), 3);
  EXPECT_EQ(symbolsPerFrame(kBits, 5, 2), 2);  // the fifth bit is left over
  EXPECT_EQ(symbolsPerFrame(kBits, 1, 2), 0);
  EXPECT_EQ(symbolsPerFrame(codeOf(InputType::Integer), 7, 2), 7);
  EXPECT_EQ(symbolsPerFrame(3, 6, 3), 2);      // any other type counts as bits
  EXPECT_EQ(symbolsPerFrame(kBits, 6, 0), 0);  // no divisor, no symbols
}

struct MappingCase {
  const char* name;
  double mAryNumber;
  double inputType;
  double mapping;
  std::vector<double> input;
  int32_t symbolsPerFrame;
  std::vector<int32_t> indicesBefore;
  std::vector<int32_t> indicesAfter;
  const char* message;  // nullptr when the mapping succeeds
};

void PrintTo(const MappingCase& mappingCase, std::ostream* out) {
  *out << mappingCase.name;
}

class MapInputToSymbols : public ::testing::TestWithParam<MappingCase> {
 protected:
  void prepare(const MappingCase& mappingCase) {
    testing::RecordLayout layout;
    layout.parameters.mAryNumber = mappingCase.mAryNumber;
    layout.parameters.inputType = mappingCase.inputType;
    layout.parameters.bitToSymbolMapping = mappingCase.mapping;
    layout.inputWidth = static_cast<int32_t>(mappingCase.input.size());
    layout.symbolsPerFrame = mappingCase.symbolsPerFrame;
    ASSERT_NO_FATAL_FAILURE(testing::prepareRecord(host_, layout));
    std::ranges::copy(mappingCase.input, host_.inputSignal().begin());
    auto indices = indicesOf();
    ASSERT_EQ(indices.size(), mappingCase.indicesBefore.size());
    std::ranges::copy(mappingCase.indicesBefore, indices.begin());
  }
  std::span<int32_t> indicesOf() {
    return testing::workVector<int32_t>(host_, WorkVector::SymbolIndices);
  }

  host::HostBlock host_;
};

TEST_P(MapInputToSymbols, StoresIndicesOrStopsAtTheFirstBadElement) {
  const MappingCase& mappingCase = GetParam();
  ASSERT_NO_FATAL_FAILURE(prepare(mappingCase));
  ASSERT_EQ(deriveSymbolLayout(host_.record()).symbolsPerFrame, mappingCase.symbolsPerFrame);

  mapInputToSymbols(host_.record());

  const auto indices = indicesOf();
  EXPECT_EQ(std::vector<int32_t>(indices.begin(), indices.end()), mappingCase.indicesAfter);
  if (mappingCase.message == nullptr) {
    EXPECT_EQ(dxpGetErrorStatus(host_.record()), nullptr);
  } else {
    EXPECT_STREQ(dxpGetErrorStatus(host_.record()), mappingCase.message);
  }
}

// Natural order reads each group of k bits most significant first; Gray decoding undoes the
// reflected code (shifts 1, 2, 4, ... below k).
INSTANTIATE_TEST_SUITE_P(
    Bits, MapInputToSymbols,
    ::testing::Values(
        MappingCase{"M4Natural", 4, 1, 1, {1, 0, 0, 1}, 2, {0, 0}, {2, 1}, nullptr},
        MappingCase{"M4Gray", 4, 1, 2, {1, 0, 0, 1}, 2, {0, 0}, {3, 1}, nullptr},
        MappingCase{"M8Natural",
                    8,
                    1,
                    1,
                    {0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1, 1, 0, 0, 1, 0, 1, 1, 1, 0, 1, 1, 1},
                    8,
                    std::vector<int32_t>(8, 0),
                    {0, 1, 2, 3, 4, 5, 6, 7},
                    nullptr},
        MappingCase{"M8Gray",
                    8,
                    1,
                    2,
                    {0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1, 1, 0, 0, 1, 0, 1, 1, 1, 0, 1, 1, 1},
                    8,
                    std::vector<int32_t>(8, 0),
                    {0, 1, 3, 2, 7, 6, 4, 5},
                    nullptr},
        MappingCase{"M2GrayIsIdentity", 2, 1, 2, {1, 0, 1}, 3, {0, 0, 0}, {1, 0, 1}, nullptr},
        MappingCase{"M16Gray", 16, 1, 2, {1, 1, 1, 1, 1, 0, 0, 0}, 2, {0, 0}, {10, 15}, nullptr},
        MappingCase{"M32GrayShiftsByFour", 32, 1, 2, {1, 0, 0, 0, 0}, 1, {0}, {31}, nullptr},
        MappingCase{"NegativeZeroIsZero", 4, 1, 1, {-0.0, 1}, 1, {3}, {1}, nullptr},
        MappingCase{"LeftoverBitsNeverRead", 4, 1, 1, {1, 1, 0, 1, 7}, 2, {0, 0}, {3, 1}, nullptr},
        MappingCase{"HalfFails", 4, 1, 1, {1, 1, 0.5, 1}, 2, {0, 0}, {3, 0}, kNotBinary},
        MappingCase{"TwoFails", 4, 1, 1, {2, 0}, 1, {1}, {1}, kNotBinary},
        MappingCase{"NaNFails", 4, 1, 1, {0, 1, 1, kNaN}, 2, {2, 2}, {1, 2}, kNotBinary},
        MappingCase{"MinusOneFails", 2, 1, 1, {1, -1, 0}, 3, {0, 1, 1}, {1, 1, 1}, kNotBinary}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// One symbol per element, tested against 0..M-1; the bit mapping plays no part.
INSTANTIATE_TEST_SUITE_P(
    Integers, MapInputToSymbols,
    ::testing::Values(
        MappingCase{"M6AllSymbolsGrayIgnored",
                    6,
                    2,
                    2,
                    {0, 1, 2, 3, 4, 5},
                    6,
                    std::vector<int32_t>(6, 0),
                    {0, 1, 2, 3, 4, 5},
                    nullptr},
        MappingCase{"AboveRangeMidFrame", 4, 2, 1, {1, 4, 2}, 3, {3, 3, 3}, {1, 3, 3}, kOutOfRange},
        MappingCase{
            "NegativeZeroThenFraction", 4, 2, 1, {-0.0, 2.5}, 2, {3, 3}, {0, 3}, kOutOfRange},
        MappingCase{"M6SeventhFails",
                    6,
                    2,
                    1,
                    {0, 1, 2, 3, 4, 5, 6},
                    7,
                    std::vector<int32_t>(7, 1),
                    {0, 1, 2, 3, 4, 5, 1},
                    kOutOfRange},
        MappingCase{"NegativeFails", 4, 2, 1, {-1}, 1, {2}, {2}, kOutOfRange},
        MappingCase{"TinyFractionFails", 4, 2, 1, {1e-300}, 1, {2}, {2}, kOutOfRange},
        MappingCase{"LargeMTakesItsLastSymbolNotAHalf",
                    1048576,
                    2,
                    1,
                    {1048575, 1048574.5},
                    2,
                    {7, 7},
                    {1048575, 7},
                    kOutOfRange},
        // Large symbols convert exactly, four at a time and the last alone.
        MappingCase{"LargeMTakesItsTopSymbols",
                    1048576,
                    2,
                    1,
                    {1048575, 0, 524288, 1048574, 1048575},
                    5,
                    std::vector<int32_t>(5, 7),
                    {1048575, 0, 524288, 1048574, 1048575},
                    nullptr},
        MappingCase{"NaNFails", 4, 2, 1, {kNaN}, 1, {2}, {2}, kOutOfRange},
        MappingCase{"PlusInfinityFails", 4, 2, 1, {kInf}, 1, {2}, {2}, kOutOfRange},
        MappingCase{"MinusInfinityFails", 4, 2, 1, {-kInf}, 1, {2}, {2}, kOutOfRange}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// Nothing is read or written for a bad type; no symbols means no test at all.
INSTANTIATE_TEST_SUITE_P(
    EdgeCases, MapInputToSymbols,
    ::testing::Values(
        MappingCase{
            "BadInputTypeWritesNothing", 4, 3, 1, {1, 1, 0, 1}, 2, {1, 2}, {1, 2}, kBadInputType},
        MappingCase{"NoSymbolsReadsNothing", 4, 1, 1, {7}, 0, {}, {}, nullptr},
        MappingCase{"NoSymbolsEvenForABadType", 4, 3, 1, {7}, 0, {}, {}, nullptr}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

// The binary word whose Gray code is `code`.
int32_t fromGray(int32_t code) {
  int32_t word = code;
  while ((code >>= 1) != 0) {
    word ^= code;
  }
  return word;
}

// The whole frame is checked before it is mapped, two values at a time where the processor
// allows: one bad value anywhere in frames of every length, with M giving 1, 2, 3 and 5 bits
// per symbol, in natural and Gray order, still leaves the symbols before it mapped and those
// from it on untouched.
TEST(MapInputToSymbolsSweep, StopsAtTheBadValueWhereverItLies) {
  constexpr int32_t kUntouched = -7;
  for (const auto& [bits, gray] : {std::pair{true, false}, {true, true}, {false, false}}) {
    for (const int32_t mAryNumber : {2, 4, 8, 32}) {
      const int32_t k = bits ? bitsPerSymbol(mAryNumber) : 1;
      const std::vector<double> badValues =
          bits ? std::vector<double>{0.5, 2, -1, kNaN, kInf}
               : std::vector<double>{static_cast<double>(mAryNumber), -1, 0.5, kNaN, -kInf};
      for (int32_t symbols = 1; symbols <= 9; ++symbols) {
        // Symbol s is s mod M, written as k bits, most significant first, or as an integer.
        std::vector<double> input;
        std::vector<int32_t> expected;
        for (int32_t symbol = 0; symbol < symbols; ++symbol) {
          // Every pattern of k bits, in an order that differs from frame to frame.
          const int32_t word = (symbol * 5 + symbols) % mAryNumber;
          expected.push_back(gray ? fromGray(word) : word);
          for (int32_t bit = k - 1; bit >= 0; --bit) {
            input.push_back(bits ? static_cast<double>((word >> bit) & 1) : word);
          }
        }
        for (size_t bad = 0; bad <= input.size(); ++bad) {  // input.size(): none is bad
          for (const double badValue : badValues) {
            SCOPED_TRACE(::testing::Message()
                         << (bits ? "bits" : "integers") << (gray ? " Gray" : "") << " M "
                         << mAryNumber << ", " << symbols << " symbols, value " << bad << " is "
                         << badValue);
            host::HostBlock host;
            testing::RecordLayout layout;
            layout.parameters.mAryNumber = mAryNumber;
            layout.parameters.inputType = codeOf(bits ? InputType::Bit : InputType::Integer);
            layout.parameters.bitToSymbolMapping =
                codeOf(gray ? BitToSymbolMapping::Gray : BitToSymbolMapping::Binary);
            layout.inputWidth = static_cast<int32_t>(input.size());
            layout.symbolsPerFrame = symbols;
            ASSERT_NO_FATAL_FAILURE(testing::prepareRecord(host, layout));
            std::ranges::copy(input, host.inputSignal().begin());
            if (bad < input.size()) {
              host.inputSignal()[bad] = badValue;
            }
            auto indices = testing::workVector<int32_t>(host, WorkVector::SymbolIndices);
            std::ranges::fill(indices, kUntouched);

            mapInputToSymbols(host.record());

            const auto mapped = static_cast<ptrdiff_t>(bad / static_cast<size_t>(k));
            std::vector<int32_t> want(expected);
            std::fill(want.begin() + std::min<ptrdiff_t>(mapped, symbols), want.end(), kUntouched);
            EXPECT_EQ(std::vector<int32_t>(indices.begin(), indices.end()), want);
            EXPECT_EQ(dxpGetErrorStatus(host.record()) != nullptr, bad < input.size());
          }
        }
      }
    }
  }
}

TEST(MapInputToSymbolsStatus, KeepsAnEarlierFailure) {
  host::HostBlock host;
  testing::RecordLayout layout;
  layout.parameters.inputType = codeOf(InputType::Integer);
  ASSERT_NO_FATAL_FAILURE(testing::prepareRecord(host, layout));
  constexpr const char* kEarlier = "an earlier failure";
  dxpSetErrorStatus(host.record(), kEarlier);
  host.inputSignal()[0] = 3;

  mapInputToSymbols(host.record());

  EXPECT_EQ(testing::workVector<int32_t>(host, WorkVector::SymbolIndices)[0], 3);
  EXPECT_EQ(dxpGetErrorStatus(host.record()), kEarlier);
}

}  // namespace
}  // namespace quenvarith
