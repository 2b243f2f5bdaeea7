// The local record a set-up call builds without a host record, its port-count operations, and
// the small methods only the entry installs.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "entry/local_record.h"
#include "entry/small_methods.h"
#include "entry/texts.h"
#include "entry_calls.h"

namespace quenvarith::entry_test {
namespace {

class LocalRecordTest : public ScopedTest {};

using entry::createLocalRecord;
using entry::localSetNumInputPorts;
using entry::localSetNumOutputPorts;

struct ParameterCountCase {
  int nrhs;
  int32_t parameterCount;
};

class LocalRecord : public ScopedTest, public ::testing::WithParamInterface<ParameterCountCase> {};

TEST_P(LocalRecord, TakesTheArgumentsAfterTheFourthAsDialogParameters) {
  const ParameterCountCase& c = GetParam();
  std::vector<ArrayHandle> parameters;
  for (int i = 4; i < c.nrhs; ++i) {
    parameters.push_back(scalar(i));
  }
  RightHandArguments arguments(emptyArray(), scalar(0.0), std::move(parameters));
  arguments.truncate(static_cast<size_t>(std::max(c.nrhs, 0)));

  const DxpBlockRecord* record = createLocalRecord(c.nrhs, arguments.data());

  ASSERT_EQ(record->numParameters, c.parameterCount);
  if (c.parameterCount == 0) {
    EXPECT_EQ(record->parameters, nullptr);
  }
  for (int32_t i = 0; i < c.parameterCount; ++i) {
    EXPECT_EQ(record->parameters[i], arguments.at(static_cast<size_t>(4 + i))) << "parameter " << i;
  }
  // The record, its simulation info and, with parameters, their list: all host memory.
  EXPECT_EQ(vqAllocationCount(scope()), c.parameterCount > 0 ? 3u : 2u);
}

INSTANTIATE_TEST_SUITE_P(SetupCall, LocalRecord,
                         ::testing::Values(ParameterCountCase{4, 0}, ParameterCountCase{5, 1},
                                           ParameterCountCase{10, 6}, ParameterCountCase{12, 8},
                                           ParameterCountCase{3, 0}));

TEST_F(LocalRecordTest, ALocalRecordIsASizesOnlyRecordWithoutMethods) {
  RightHandArguments arguments(emptyArray(), scalar(0.0));
  DxpBlockRecord* record = createLocalRecord(arguments.count(), arguments.data());

  EXPECT_EQ(record->errorHolder, &record->localErrorHolder);
  EXPECT_EQ(dxpGetErrorStatus(record), nullptr);
  ASSERT_NE(record->simInfo, nullptr);
  EXPECT_EQ(record->simInfo->simMode, DXP_SIM_MODE_SIZES_ONLY);
  EXPECT_EQ(record->simInfo->setInputPortDimensionInfo, nullptr);
  EXPECT_EQ(record->simInfo->setOutputPortDimensionInfo, nullptr);
  EXPECT_STREQ(record->blockName, "quenvarith");
  EXPECT_STREQ(record->blockPath, "quenvarith");
  EXPECT_EQ(record->setNumInputPorts, &localSetNumInputPorts);
  EXPECT_EQ(record->setNumInputPortsContext, record);
  EXPECT_EQ(record->setNumOutputPorts, &localSetNumOutputPorts);
  EXPECT_EQ(record->setNumOutputPortsContext, record);
  EXPECT_EQ(record->setNumWorkVectors, nullptr);
  EXPECT_EQ(record->flagWord, 0u);
  EXPECT_EQ(record->extension, nullptr);
  static const DxpMethodTable kEmptyTable{};
  EXPECT_EQ(std::memcmp(&record->methods, &kEmptyTable, sizeof(kEmptyTable)), 0);
  for (const int32_t word : record->sizes) {
    EXPECT_EQ(word, 0);
  }

  // Its error status is a field of the record itself.
  reportNoZeroCrossings(record);
  EXPECT_EQ(record->localErrorHolder.errorStatus, entry::kNoZeroCrossingsMessage);
}

// ---- Port counts ----

struct PortCountCase {
  const char* name;
  bool input;
  int32_t count;
  int32_t result;
};
void PrintTo(const PortCountCase& c, std::ostream* out) {
  *out << c.name;
}

class LocalPortCounts : public ScopedTest, public ::testing::WithParamInterface<PortCountCase> {};

TEST_P(LocalPortCounts, StoreTheCountAndAllocateZeroedPorts) {
  const PortCountCase& c = GetParam();
  RightHandArguments arguments(emptyArray(), scalar(0.0));
  DxpBlockRecord* record = createLocalRecord(arguments.count(), arguments.data());
  record->sizes[DXP_WORD_NUM_INPUT_PORTS] = record->sizes[DXP_WORD_NUM_OUTPUT_PORTS] = 9;
  const size_t allocationsBefore = vqAllocationCount(scope());

  const DxpSetNumPortsOp operation = c.input ? record->setNumInputPorts : record->setNumOutputPorts;
  EXPECT_EQ(operation(record, c.count), c.result);

  const int32_t& word =
      record->sizes[c.input ? DXP_WORD_NUM_INPUT_PORTS : DXP_WORD_NUM_OUTPUT_PORTS];
  const int32_t& otherWord =
      record->sizes[c.input ? DXP_WORD_NUM_OUTPUT_PORTS : DXP_WORD_NUM_INPUT_PORTS];
  EXPECT_EQ(otherWord, 9);
  if (c.result == 0) {
    EXPECT_EQ(word, 9);
    EXPECT_EQ(record->flagWord, 0u);
    EXPECT_EQ(vqAllocationCount(scope()), allocationsBefore);
    return;
  }
  EXPECT_EQ(word, c.count);
  EXPECT_EQ(record->flagWord, DXP_FLAG_PORT_COUNTS_SET);
  EXPECT_EQ(vqAllocationCount(scope()), allocationsBefore + (c.count > 0 ? 1u : 0u));
  const void* ports = c.input ? static_cast<const void*>(record->inputPorts)
                              : static_cast<const void*>(record->outputPorts);
  if (c.count == 0) {
    EXPECT_EQ(ports, nullptr);
    return;
  }
  ASSERT_NE(ports, nullptr);
  const size_t bytes =
      static_cast<size_t>(c.count) * (c.input ? sizeof(DxpInputPort) : sizeof(DxpOutputPort));
  const std::vector<unsigned char> zeros(bytes, 0);
  EXPECT_EQ(std::memcmp(ports, zeros.data(), bytes), 0);
}

INSTANTIATE_TEST_SUITE_P(SetupCall, LocalPortCounts,
                         ::testing::Values(PortCountCase{"NegativeInputs", true, -1, 0},
                                           PortCountCase{"NoInputs", true, 0, 1},
                                           PortCountCase{"OneInput", true, 1, 1},
                                           PortCountCase{"ThreeInputs", true, 3, 1},
                                           PortCountCase{"NegativeOutputs", false, -1, 0},
                                           PortCountCase{"NoOutputs", false, 0, 1},
                                           PortCountCase{"OneOutput", false, 1, 1},
                                           PortCountCase{"ThreeOutputs", false, 3, 1}),
                         [](const ::testing::TestParamInfo<PortCountCase>& testInfo) {
                           return testInfo.param.name;
                         });

// ---- The small methods ----

TEST(SmallMethods, ReportersStoreTheirConstantTexts) {
  DxpBlockRecord record{};
  record.errorHolder = &record.localErrorHolder;

  reportNoVariableHit(&record);
  EXPECT_EQ(dxpGetErrorStatus(&record), entry::kNoVariableHitMessage);
  EXPECT_STREQ(dxpGetErrorStatus(&record),
               "To have a variable sample time, you must define MDL_GET_TIME_OF_NEXT_VAR_HIT and "
               "add a mdlGetTimeOfNextVarHit routine");

  reportNoZeroCrossings(&record);
  EXPECT_EQ(dxpGetErrorStatus(&record), entry::kNoZeroCrossingsMessage);
  EXPECT_STREQ(dxpGetErrorStatus(&record),
               "To have nonsampled zero crossings, you must define MDL_ZERO_CROSSINGS and have a "
               "mdlZeroCrossings routine");
}

TEST(SmallMethods, StartAndProcessParametersLeaveTheRecordAsItWas) {
  DxpBlockRecord record{};
  record.errorHolder = &record.localErrorHolder;
  record.localErrorHolder.errorStatus = "earlier failure";
  record.flagWord = 0x1001u;
  record.sizes[DXP_WORD_CALL_ARGUMENT] = 3;
  record.sizes[DXP_WORD_OPTIONS] = 2;
  const auto sizesBefore = std::to_array(record.sizes);

  mdlStart(&record);
  mdlProcessParameters(&record);

  EXPECT_STREQ(dxpGetErrorStatus(&record), "earlier failure");
  EXPECT_EQ(record.flagWord, 0x1001u);
  EXPECT_EQ(std::to_array(record.sizes), sizesBefore);
}

}  // namespace
}  // namespace quenvarith::entry_test
