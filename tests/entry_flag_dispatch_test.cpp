// The flag call: every flag of the dispatch table with a filled and an empty slot, the port
// slots' two meanings, the outputs task id, and flags outside the table.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "entry/entry.h"
#include "entry/flag_dispatch.h"
#include "entry/texts.h"
#include "entry_calls.h"

namespace quenvarith::entry_test {
namespace {

using entry::DirectMethods;
using entry::dispatchFlag;

// One call that reached a method, with the arguments it was given after the record.
struct Call {
  std::string method;
  int32_t port = 0;
  int32_t word = 0;
  const DxpDimsInfo* dims = nullptr;
  double sampleTime = 0.0;
  double offset = 0.0;

  bool operator==(const Call&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Call& call) {
  return out << call.method << "(" << call.port << ", " << call.word << ", " << call.dims << ", "
             << call.sampleTime << ", " << call.offset << ")";
}

// The calls of the current test; the recorders below have only the record to go by.
std::vector<Call> calls;

template <const char* Name>
void recordMethod(DxpBlockRecord*) {
  calls.push_back({Name});
}
template <const char* Name>
void recordPortWord(DxpBlockRecord*, int32_t port, int32_t word) {
  calls.push_back({.method = Name, .port = port, .word = word});
}
template <const char* Name>
void recordPortDims(DxpBlockRecord*, int32_t port, const DxpDimsInfo* dims) {
  calls.push_back({.method = Name, .port = port, .dims = dims});
}
template <const char* Name>
void recordPortSampleTime(DxpBlockRecord*, int32_t port, double sampleTime, double offset) {
  calls.push_back({.method = Name, .port = port, .sampleTime = sampleTime, .offset = offset});
}
template <const char* Name>
void recordOutputs(DxpBlockRecord*, int32_t taskId) {
  calls.push_back({.method = Name, .port = taskId});
}

constexpr char kDirectSampleTimes[] = "direct sample times";
constexpr char kDirectInitialConditions[] = "direct initial conditions";
constexpr char kDirectOutputs[] = "direct outputs";
constexpr char kSlot[] = "slot";

constexpr DirectMethods kRecordingDirect{&recordMethod<kDirectSampleTimes>,
                                         &recordMethod<kDirectInitialConditions>,
                                         &recordOutputs<kDirectOutputs>};

constexpr int32_t kPort = 3;
constexpr int32_t kCallWord = 7;
constexpr double kSampleTime = 0.25;
constexpr double kOffset = 0.125;
const DxpDimsInfo kDims{6, 1, nullptr, 0};

// A host record with the flag call's arguments in place and the given flagWord.
class FlagCallTest : public ScopedTest {
 protected:
  FlagCallTest() {
    calls.clear();
    record()->sizes[DXP_WORD_CALL_ARGUMENT] = kPort;
    host_.simInfo().argCallWord = kCallWord;
    host_.simInfo().argDimsInfo = &kDims;
    host_.simInfo().argSampleTime = kSampleTime;
    host_.simInfo().argOffset = kOffset;
  }
  ~FlagCallTest() override { calls.clear(); }

  DxpBlockRecord* record() { return host_.record(); }
  host::HostBlock& host() { return host_; }

 private:
  host::HostBlock host_;
};

// ---- The dispatch table ----

struct FlagCase {
  int32_t flag;
  uint32_t flagWord;
  void (*fill)(DxpBlockRecord& record);  // fills the slot the flag consults, if any
  Call filledCall;                       // what a filled slot runs ("" for nothing)
  Call emptyCall;                        // what an empty slot runs ("" for nothing)
  const char* emptyMessage;              // stored with an empty slot (null for none)
};
void PrintTo(const FlagCase& c, std::ostream* out) {
  *out << "flag " << c.flag;
}

void noSlot(DxpBlockRecord&) {}

const Call kNothing{};
const Call kSlotCall{kSlot};
const Call kSlotPortWord{.method = kSlot, .port = kPort, .word = kCallWord};
const Call kSlotPortDims{.method = kSlot, .port = kPort, .dims = &kDims};
const Call kSlotPortSampleTime{
    .method = kSlot, .port = kPort, .sampleTime = kSampleTime, .offset = kOffset};

std::vector<FlagCase> dispatchTable() {
  constexpr uint32_t kWidths = 0u;
  constexpr uint32_t kDimensions = DXP_FLAG_PORT_DIMENSION_INFO;
  return {
      {101, kDimensions, noSlot, {kDirectSampleTimes}, {kDirectSampleTimes}, nullptr},
      {102,
       kDimensions,
       [](DxpBlockRecord& r) { r.methods.initialConditions = &recordMethod<kSlot>; },
       {kDirectInitialConditions},
       kNothing,
       "Unexpected call to mdlInitializeConditions"},
      {103, kDimensions, noSlot, kNothing, kNothing, entry::kNoVariableHitMessage},
      {104, kDimensions, noSlot, {kDirectOutputs}, {kDirectOutputs}, nullptr},
      {107, kDimensions, noSlot, kNothing, kNothing, nullptr},
      {108, kDimensions, noSlot, kNothing, kNothing, entry::kNoZeroCrossingsMessage},
      {111, kDimensions, [](DxpBlockRecord& r) { r.methods.workWidths = &recordMethod<kSlot>; },
       kSlotCall, kNothing, "Unexpected call to mdlSetWorkWidths"},
      {112, kDimensions,
       [](DxpBlockRecord& r) { r.methods.checkParameters = &recordMethod<kSlot>; }, kSlotCall,
       kNothing, "Unexpected call to mdlCheckParameters"},
      {113, kDimensions,
       [](DxpBlockRecord& r) { r.methods.inputPortDataType = &recordPortWord<kSlot>; },
       kSlotPortWord, kNothing, "Unexpected call to mdlSetInputPortDataType"},
      {114, kDimensions,
       [](DxpBlockRecord& r) { r.methods.outputPortDataType = &recordPortWord<kSlot>; },
       kSlotPortWord, kNothing, "Unexpected call to mdlSetOutputPortDataType"},
      {115, kWidths,
       [](DxpBlockRecord& r) { r.methods.inputPortWidthOrDims.width = &recordPortWord<kSlot>; },
       kSlotPortWord, kNothing, "Unexpected call to mdlSetInputPortWidth"},
      {116, kWidths,
       [](DxpBlockRecord& r) { r.methods.outputPortWidthOrDims.width = &recordPortWord<kSlot>; },
       kSlotPortWord, kNothing, "Unexpected call to mdlSetOutputPortWidth"},
      {117, kDimensions, [](DxpBlockRecord& r) { r.methods.start = &recordMethod<kSlot>; },
       kNothing, kNothing, "Unexpected call to mdlStart"},
      {118, kDimensions,
       [](DxpBlockRecord& r) { r.methods.processParameters = &recordMethod<kSlot>; }, kSlotCall,
       kNothing, "Unexpected call to mdlProcessParameters"},
      {120, kDimensions,
       [](DxpBlockRecord& r) { r.methods.inputPortComplexSignal = &recordPortWord<kSlot>; },
       kSlotPortWord, kNothing, "Unexpected call to mdlSetInputPortComplexSignal"},
      {121, kDimensions,
       [](DxpBlockRecord& r) { r.methods.outputPortComplexSignal = &recordPortWord<kSlot>; },
       kSlotPortWord, kNothing, "Unexpected call to mdlSetOutputPortComplexSignal"},
      {122, kDimensions,
       [](DxpBlockRecord& r) { r.methods.inputPortSampleTime = &recordPortSampleTime<kSlot>; },
       kSlotPortSampleTime, kNothing, "Unexpected call to mdlSetInputPortSampleTime"},
      {123, kDimensions,
       [](DxpBlockRecord& r) { r.methods.outputPortSampleTime = &recordPortSampleTime<kSlot>; },
       kSlotPortSampleTime, kNothing, "Unexpected call to mdlSetOutputPortSampleTime"},
      {126, kDimensions,
       [](DxpBlockRecord& r) {
         r.methods.inputPortWidthOrDims.dimensionInfo = &recordPortDims<kSlot>;
       },
       kSlotPortDims, kNothing, "Unexpected call to mdlSetInputPortDimensionInfo"},
      {127, kDimensions,
       [](DxpBlockRecord& r) {
         r.methods.outputPortWidthOrDims.dimensionInfo = &recordPortDims<kSlot>;
       },
       kSlotPortDims, kNothing, "Unexpected call to mdlSetOutputPortDimensionInfo"},
      {128, kDimensions,
       [](DxpBlockRecord& r) { r.extension->inputPortFrameData = &recordPortWord<kSlot>; },
       kSlotPortWord, kNothing, "Unexpected call to mdlSetInputPortFrameData"},
      {131, kDimensions,
       [](DxpBlockRecord& r) { r.extension->defaultPortDimensionInfo = &recordMethod<kSlot>; },
       kSlotCall, kNothing, "Unexpected call to mdlSetDefaultPortDimensionInfo"},
      {132, kDimensions,
       [](DxpBlockRecord& r) { r.extension->defaultPortDataTypes = &recordMethod<kSlot>; },
       kSlotCall, kNothing, "Unexpected call to mdlSetDefaultPortDataTypes"},
      {133, kDimensions,
       [](DxpBlockRecord& r) { r.extension->defaultPortComplexSignals = &recordMethod<kSlot>; },
       kSlotCall, kNothing, "Unexpected call to mdlSetDefaultPortComplexSignals"},
  };
}

class DispatchTable : public FlagCallTest, public ::testing::WithParamInterface<FlagCase> {
 protected:
  // Runs the case's flag; returns the one call it made (kNothing for none).
  Call dispatch() {
    record()->flagWord = GetParam().flagWord;
    dispatchFlag(record(), GetParam().flag, kRecordingDirect);
    EXPECT_LE(calls.size(), 1u);
    return calls.empty() ? kNothing : calls.front();
  }
};

TEST_P(DispatchTable, AFilledSlotRunsItsMethodWithTheFlagCallsArguments) {
  GetParam().fill(*record());
  EXPECT_EQ(dispatch(), GetParam().filledCall);
  // Flags 103 and 108 store their text whatever the table holds.
  const char* status = dxpGetErrorStatus(record());
  if (GetParam().flag == 103 || GetParam().flag == 108) {
    EXPECT_EQ(status, GetParam().emptyMessage);
  } else {
    EXPECT_EQ(status, nullptr) << status;
  }
}

TEST_P(DispatchTable, AnEmptySlotStoresTheMessageThatNamesTheMethod) {
  EXPECT_EQ(dispatch(), GetParam().emptyCall);
  const char* status = dxpGetErrorStatus(record());
  if (GetParam().emptyMessage == nullptr) {
    EXPECT_EQ(status, nullptr) << status;
  } else {
    EXPECT_STREQ(status, GetParam().emptyMessage);
  }
}

INSTANTIATE_TEST_SUITE_P(FlagCall, DispatchTable, ::testing::ValuesIn(dispatchTable()),
                         [](const ::testing::TestParamInfo<FlagCase>& testInfo) {
                           return "Flag" + std::to_string(testInfo.param.flag);
                         });

// ---- The port slots: a width method or a dimension-info method, by flagWord bit 0x1 ----

struct PortSlotCase {
  int32_t flag;
  bool dimensionBit;
  bool runs;
  const char* message;
};
void PrintTo(const PortSlotCase& c, std::ostream* out) {
  *out << "flag " << c.flag << (c.dimensionBit ? " with" : " without") << " bit 0x1";
}

class PortSlots : public FlagCallTest, public ::testing::WithParamInterface<PortSlotCase> {};

TEST_P(PortSlots, RunOnlyWhenTheFlagWordBitSaysTheSlotHoldsThatKind) {
  const PortSlotCase& c = GetParam();
  // Both slots filled, with whichever kind the bit announces.
  record()->flagWord = c.dimensionBit ? DXP_FLAG_PORT_DIMENSION_INFO | 0x2u : 0x2u;
  if (c.dimensionBit) {
    record()->methods.inputPortWidthOrDims.dimensionInfo = &recordPortDims<kSlot>;
    record()->methods.outputPortWidthOrDims.dimensionInfo = &recordPortDims<kSlot>;
  } else {
    record()->methods.inputPortWidthOrDims.width = &recordPortWord<kSlot>;
    record()->methods.outputPortWidthOrDims.width = &recordPortWord<kSlot>;
  }

  dispatchFlag(record(), c.flag, kRecordingDirect);

  EXPECT_EQ(calls.size(), c.runs ? 1u : 0u);
  if (c.runs) {
    EXPECT_EQ(dxpGetErrorStatus(record()), nullptr);
  } else {
    EXPECT_STREQ(dxpGetErrorStatus(record()), c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    FlagCall, PortSlots,
    ::testing::Values(
        PortSlotCase{115, false, true, nullptr},
        PortSlotCase{115, true, false, "Unexpected call to mdlSetInputPortWidth"},
        PortSlotCase{116, false, true, nullptr},
        PortSlotCase{116, true, false, "Unexpected call to mdlSetOutputPortWidth"},
        PortSlotCase{126, true, true, nullptr},
        PortSlotCase{126, false, false, "Unexpected call to mdlSetInputPortDimensionInfo"},
        PortSlotCase{127, true, true, nullptr},
        PortSlotCase{127, false, false, "Unexpected call to mdlSetOutputPortDimensionInfo"}));

// ---- Flag 104's task id ----

TEST_F(FlagCallTest, OutputsGetTaskIdMinusTwoOnlyWhenTheCallArgumentHoldsIt) {
  const struct {
    int32_t callArgument;
    int32_t taskId;
  } cases[] = {{5, 0}, {-2, -2}, {0, 0}, {-1, 0}, {2, 0}, {INT32_MIN, 0}};
  for (const auto& c : cases) {
    calls.clear();
    record()->sizes[DXP_WORD_CALL_ARGUMENT] = c.callArgument;
    dispatchFlag(record(), 104, kRecordingDirect);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls.front().port, c.taskId) << "callArgument " << c.callArgument;
  }
}

// ---- Flags outside the table ----

class FlagsOutsideTheTable : public FlagCallTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(FlagsOutsideTheTable, StoreTheInvalidFlagMessageAndRunNothing) {
  dispatchFlag(record(), GetParam(), kRecordingDirect);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(dxpGetErrorStatus(record()), entry::kInvalidFlagMessage);
  EXPECT_STREQ(dxpGetErrorStatus(record()), "Invalid flag encountered in pellumar");
}

INSTANTIATE_TEST_SUITE_P(FlagCall, FlagsOutsideTheTable,
                         ::testing::Values(0, 1, 100, 105, 106, 109, 110, 119, 124, 125, 129, 130,
                                           134, -101, INT32_MIN, INT32_MAX));

// ---- Reading the flag from right-hand argument 4 ----

struct FlagArgumentCase {
  const char* name;
  ArrayHandle (*flag)();
  const char* method;  // the direct method it runs, or null
  const char* message;
};
void PrintTo(const FlagArgumentCase& c, std::ostream* out) {
  *out << c.name;
}

class FlagArgument : public FlagCallTest, public ::testing::WithParamInterface<FlagArgumentCase> {};

TEST_P(FlagArgument, IsTruncatedTowardZeroAndNeverMisread) {
  const FlagArgumentCase& c = GetParam();
  ArrayHandle flag = c.flag();
  std::array<VqArray*, 2> plhs{nullptr, reinterpret_cast<VqArray*>(record())};
  ArrayHandle unread = emptyArray();
  std::array<const VqArray*, 4> prhs{unread.get(), unread.get(), unread.get(), flag.get()};

  entry::processFlagCall(plhs.data(), static_cast<int>(prhs.size()), prhs.data(), kRecordingDirect);

  if (c.method != nullptr) {
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls.front().method, c.method);
  } else {
    EXPECT_TRUE(calls.empty());
  }
  EXPECT_EQ(dxpGetErrorStatus(record()), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    FlagCall, FlagArgument,
    ::testing::Values(
        FlagArgumentCase{"Fraction", [] { return scalar(101.9); }, kDirectSampleTimes, nullptr},
        FlagArgumentCase{"TwoElements",
                         [] {
                           return matrix(1, 2, {104.0, 1.0});
                         },
                         kDirectOutputs, nullptr},
        FlagArgumentCase{"NaN", [] { return scalar(std::nan("")); }, nullptr,
                         entry::kInvalidFlagMessage},
        FlagArgumentCase{"Huge", [] { return scalar(1e300); }, nullptr, entry::kInvalidFlagMessage},
        FlagArgumentCase{"MinusInfinity",
                         [] { return scalar(-std::numeric_limits<double>::infinity()); }, nullptr,
                         entry::kInvalidFlagMessage},
        FlagArgumentCase{"Empty", emptyArray, nullptr, entry::kInvalidFlagMessage},
        FlagArgumentCase{"Text", [] { return ArrayHandle(vqCreateString("e")); }, nullptr,
                         entry::kInvalidFlagMessage},
        FlagArgumentCase{"Missing", [] { return ArrayHandle(); }, nullptr,
                         entry::kInvalidFlagMessage}),
    [](const ::testing::TestParamInfo<FlagArgumentCase>& testInfo) { return testInfo.param.name; });

TEST_F(FlagCallTest, TooFewRightHandArgumentsAreAnInvalidFlag) {
  std::array<VqArray*, 2> plhs{nullptr, reinterpret_cast<VqArray*>(record())};
  ArrayHandle flag = scalar(101.0);
  std::array<const VqArray*, 3> prhs{flag.get(), flag.get(), flag.get()};
  entry::processFlagCall(plhs.data(), static_cast<int>(prhs.size()), prhs.data(), kRecordingDirect);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(dxpGetErrorStatus(record()), entry::kInvalidFlagMessage);
}

TEST_F(FlagCallTest, WithoutARecordInSlotTwoNothingHappens) {
  ArrayHandle flag = scalar(101.0);
  std::array<VqArray*, 2> plhs{nullptr, nullptr};
  std::array<const VqArray*, 4> prhs{flag.get(), flag.get(), flag.get(), flag.get()};
  entry::processFlagCall(plhs.data(), static_cast<int>(prhs.size()), prhs.data(), kRecordingDirect);
  entry::processFlagCall(nullptr, static_cast<int>(prhs.size()), prhs.data(), kRecordingDirect);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(callFlag(&dxpFunction, nullptr, flag.get()), DXP_CALL_RETURNED);
}

TEST_F(FlagCallTest, ARecordWithoutExtensionHasNoneOfItsSlots) {
  record()->extension = nullptr;
  dispatchFlag(record(), 128, kRecordingDirect);
  EXPECT_STREQ(dxpGetErrorStatus(record()), "Unexpected call to mdlSetInputPortFrameData");
  dispatchFlag(record(), 133, kRecordingDirect);
  EXPECT_STREQ(dxpGetErrorStatus(record()), "Unexpected call to mdlSetDefaultPortComplexSignals");
  EXPECT_TRUE(calls.empty());
}

// ---- On a record the set-up call prepared, through dxpFunction ----

TEST_F(FlagCallTest, ARecordPreparedBySetupAnswersThroughTheEntryPoint) {
  host().setParameters({});
  RightHandArguments arguments(host().makeRecordReference(), scalar(0.0));
  ASSERT_EQ(callSetup(&dxpFunction, 1, arguments).status, DXP_CALL_RETURNED);
  const char* statusAfterSetup = dxpGetErrorStatus(record());

  // Start is installed and does nothing.
  ArrayHandle start = scalar(117.0);
  EXPECT_EQ(callFlag(&dxpFunction, record(), start.get()), DXP_CALL_RETURNED);
  EXPECT_EQ(dxpGetErrorStatus(record()), statusAfterSetup);

  // The port slots hold dimension-info methods, so a width flag is refused.
  ArrayHandle width = scalar(115.0);
  EXPECT_EQ(callFlag(&dxpFunction, record(), width.get()), DXP_CALL_RETURNED);
  EXPECT_STREQ(dxpGetErrorStatus(record()), "Unexpected call to mdlSetInputPortWidth");

  ArrayHandle zeroCrossings = scalar(108.0);
  EXPECT_EQ(callFlag(&dxpFunction, record(), zeroCrossings.get()), DXP_CALL_RETURNED);
  EXPECT_EQ(dxpGetErrorStatus(record()), entry::kNoZeroCrossingsMessage);

  ArrayHandle unknown = scalar(134.0);
  EXPECT_EQ(callFlag(&dxpFunction, record(), unknown.get()), DXP_CALL_RETURNED);
  EXPECT_EQ(dxpGetErrorStatus(record()), entry::kInvalidFlagMessage);
}

}  // namespace
}  // namespace quenvarith::entry_test
