// The sizes vector a set-up call returns once the block has declared its sizes, on a local
// record and on a host record.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "entry/entry.h"
#include "entry_calls.h"

namespace quenvarith::entry_test {
namespace {

class SizesVectorTest : public ScopedTest {};

struct LocalSizesCase {
  const char* name;
  std::vector<ArrayHandle> (*parameters)();
  std::map<size_t, double> nonzeroEntries;
};
void PrintTo(const LocalSizesCase& c, std::ostream* out) {
  *out << c.name;
}

class LocalRecordSizes : public ScopedTest, public ::testing::WithParamInterface<LocalSizesCase> {};

TEST_P(LocalRecordSizes, AreAllZeroExceptWhatTheBlockDeclared) {
  const LocalSizesCase& c = GetParam();
  RightHandArguments arguments(emptyArray(), scalar(0.0), c.parameters());

  const SetupResult result = callSetup(&dxpFunction, 1, arguments);

  ASSERT_EQ(result.status, DXP_CALL_RETURNED) << result.message;
  const std::vector<double> entries = result.entries();
  ASSERT_EQ(entries.size(), 38u);
  for (size_t i = 0; i < entries.size(); ++i) {
    const auto expected = c.nonzeroEntries.find(i);
    EXPECT_EQ(entries[i], expected != c.nonzeroEntries.end() ? expected->second : 0.0)
        << "entry " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    SetupCall, LocalRecordSizes,
    ::testing::Values(
        // No dialog parameters: the block stops after the expected count.
        LocalSizesCase{"FourArguments",
                       [] { return std::vector<ArrayHandle>{}; },
                       {{7, 6.0}, {19, 5200229.0}, {23, 8192.0}}},
        // Six valid parameters: ports and sample times are declared; the local record has no
        // work-vector operation, so the block stops before its option word.
        LocalSizesCase{"TenArguments",
                       validParameters,
                       {{2, 1.0}, {3, 1.0}, {6, -1.0}, {7, 6.0}, {19, 5200229.0}, {23, 8192.0}}}),
    [](const ::testing::TestParamInfo<LocalSizesCase>& testInfo) { return testInfo.param.name; });

TEST_F(SizesVectorTest, AHostRecordReportsTheOptionWordWithTheSetupBit) {
  host::HostBlock host;
  host.setParameters({});
  RightHandArguments arguments(host.makeRecordReference(), scalar(0.0));

  const SetupResult result = callSetup(&dxpFunction, 1, arguments);

  ASSERT_EQ(result.status, DXP_CALL_RETURNED) << result.message;
  EXPECT_EQ(dxpGetErrorStatus(host.record()), nullptr);
  const std::vector<double> entries = result.entries();
  ASSERT_EQ(entries.size(), 38u);
  EXPECT_EQ(entries[DXP_WORD_OPTIONS], 8194.0);
  EXPECT_EQ(entries[DXP_WORD_NUM_PARAMETERS_EXPECTED], 6.0);
  EXPECT_EQ(entries[DXP_WORD_NUM_SAMPLE_TIMES], -1.0);
  EXPECT_EQ(host.record()->sizes[DXP_WORD_OPTIONS], 0x2002);
}

}  // namespace
}  // namespace quenvarith::entry_test
