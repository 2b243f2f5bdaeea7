#include "engine/modulation.h"

#include <gtest/gtest.h>

#include <vector>

namespace quenvarith::engine {
namespace {

TEST(ToneFrequencies, AreSymmetricAboutZeroAndSpacedBySeparation) {
  host::ParameterValues parameters;
  parameters.frequencySeparation = 1200;
  EXPECT_EQ(toneFrequencies(parameters), (std::vector<double>{-1800, -600, 600, 1800}));
  parameters.mAryNumber = 3.9;  // as the block reads it: 3
  parameters.frequencySeparation = -2;
  EXPECT_EQ(toneFrequencies(parameters), (std::vector<double>{2, 0, -2}));
  for (const double refused : {1.0, -4.0, 1e300}) {
    parameters.mAryNumber = refused;
    EXPECT_TRUE(toneFrequencies(parameters).empty()) << refused;
  }
}

TEST(ParameterWords, NameEachCodedValueOnce) {
  EXPECT_EQ(valueOfWord(kInputTypeWords, "integer"), 2.0);
  EXPECT_EQ(valueOfWord(kMappingWords, "gray"), 2.0);
  EXPECT_EQ(valueOfWord(kPhaseWords, "Continuous"), std::nullopt);
  EXPECT_EQ(wordOfValue(kPhaseWords, 2.0), "discontinuous");
  EXPECT_EQ(wordOfValue(kPhaseWords, 3.0), "");
  EXPECT_EQ(listOfWords(kInputTypeWords), "bit or integer");
}

}  // namespace
}  // namespace quenvarith::engine
