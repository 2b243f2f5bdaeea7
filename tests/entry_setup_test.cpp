// The set-up call: argument checks, the record reference, the name check, the method table and
// the sizes vector.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "block/dimensions.h"
#include "block/parameters.h"
#include "block/setup.h"
#include "block/tone_generation.h"
#include "entry/entry.h"
#include "entry/setup_call.h"
#include "entry/small_methods.h"
#include "entry_calls.h"

namespace quenvarith::entry_test {
namespace {

class SetupCallTest : public ScopedTest {};

constexpr char kTooFew[] =
    "DXP level2 plug-in \"quenvarith\" must be called with at least 4 right hand arguments";
constexpr char kTooMany[] =
    "DXP level2 plug-in \"quenvarith\" called with too many left hand arguments";
constexpr char kNotInteger[] =
    "The 4th right hand argument, FLAG, passed to DXP level2 plug-in \"quenvarith\" must be an "
    "integer";
constexpr char kInvalidFlag[] = "Invalid flag passed to DXP level2 plug-in \"quenvarith\"";

std::string nameMismatch(const std::string& blockName) {
  return "Plug-in name mismatch. Name in source is \"#define PLUGIN_NAME quenvarith\", whereas "
         "name of the plug-in DXP file is \"" +
         blockName + "\". The source needs to be updated";
}

// True when nothing of the set-up call reached the record.
void expectUntouched(const DxpBlockRecord& record, uint32_t flagWordBefore) {
  static const DxpMethodTable kEmptyTable{};
  EXPECT_EQ(std::memcmp(&record.methods, &kEmptyTable, sizeof(kEmptyTable)), 0);
  EXPECT_EQ(record.flagWord, flagWordBefore);
  EXPECT_EQ(record.sizes[DXP_WORD_RECORD_VERSION], 0);
  EXPECT_EQ(record.sizes[DXP_WORD_NUM_PARAMETERS_EXPECTED], 0);
}

// ---- Argument checks, in their order ----

struct ArgumentCase {
  const char* name;
  int nlhs;
  size_t nrhs;
  ArrayHandle (*flag)();
  const char* message;
};
void PrintTo(const ArgumentCase& c, std::ostream* out) {
  *out << c.name;
}

class ArgumentChecks : public ScopedTest, public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(ArgumentChecks, RaiseTheFirstFailingCheckAndLeaveTheRecordAlone) {
  const ArgumentCase& c = GetParam();
  host::HostBlock host;
  host.setParameters({});
  RightHandArguments arguments(host.makeRecordReference(), c.flag());
  arguments.truncate(c.nrhs);

  const SetupResult result = callSetup(&dxpFunction, c.nlhs, arguments);

  EXPECT_EQ(result.status, DXP_CALL_RAISED);
  EXPECT_EQ(result.message, c.message);
  EXPECT_EQ(result.sizes.get(), nullptr);
  expectUntouched(*host.record(), 0u);
}

ArrayHandle zero() {
  return scalar(0.0);
}

INSTANTIATE_TEST_SUITE_P(
    SetupCall, ArgumentChecks,
    ::testing::Values(
        ArgumentCase{"RightHandCountBeforeLeftHandCount", 2, 3, zero, kTooFew},
        ArgumentCase{"NoArgumentsAtAll", 0, 0, zero, kTooFew},
        ArgumentCase{"TwoLeftHandSlots", 2, 4, zero, kTooMany},
        ArgumentCase{"FlagWithTwoElements", 1, 4,
                     [] {
                       return matrix(1, 2, {0.0, 0.0});
                     },
                     kNotInteger},
        ArgumentCase{"EmptyFlag", 1, 4, emptyArray, kNotInteger},
        ArgumentCase{"ComplexZeroFlag", 1, 4,
                     [] { return ArrayHandle(vqCreateDoubleMatrix(1, 1, VQ_COMPLEX)); },
                     kNotInteger},
        ArgumentCase{"TextFlag", 1, 4, [] { return ArrayHandle(vqCreateString("0")); },
                     kNotInteger},
        ArgumentCase{
            "Int32ClassFlag", 1, 4,
            [] { return ArrayHandle(vqCreateNumericMatrix(1, 1, VQ_CLASS_INT32, VQ_REAL)); },
            kNotInteger},
        ArgumentCase{"MissingFlag", 1, 4, [] { return ArrayHandle(); }, kNotInteger},
        ArgumentCase{"FractionalFlag", 1, 4, [] { return scalar(0.5); }, kNotInteger},
        ArgumentCase{"FlagBeyond32Bits", 1, 4, [] { return scalar(4294967296.0); }, kNotInteger},
        ArgumentCase{"NaNFlag", 1, 4, [] { return scalar(std::nan("")); }, kNotInteger},
        ArgumentCase{"InfiniteFlag", 1, 4,
                     [] { return scalar(-std::numeric_limits<double>::infinity()); }, kNotInteger},
        ArgumentCase{"FlagThree", 1, 4, [] { return scalar(3.0); }, kInvalidFlag},
        ArgumentCase{"FlagMinusOne", 0, 4, [] { return scalar(-1.0); }, kInvalidFlag},
        ArgumentCase{"FlagOfAFlagCall", 1, 4, [] { return scalar(101.0); }, kInvalidFlag}),
    [](const ::testing::TestParamInfo<ArgumentCase>& testInfo) { return testInfo.param.name; });

TEST_F(SetupCallTest, ZeroLeftHandSlotsStillReceiveTheSizesVector) {
  RightHandArguments arguments(emptyArray(), scalar(-0.0));
  const SetupResult result = callSetup(&dxpFunction, 0, arguments);
  ASSERT_EQ(result.status, DXP_CALL_RETURNED) << result.message;
  ASSERT_NE(result.sizes.get(), nullptr);
  EXPECT_EQ(vqGetM(result.sizes.get()), 38u);
  EXPECT_EQ(vqGetN(result.sizes.get()), 1u);
  EXPECT_EQ(vqIsComplex(result.sizes.get()), 0);
}

// ---- The record reference ----

struct ReferenceCase {
  const char* name;
  ArrayHandle (*reference)(host::HostBlock& host);
  bool isHostRecord;
};
void PrintTo(const ReferenceCase& c, std::ostream* out) {
  *out << c.name;
}

double addressOf(host::HostBlock& host) {
  return static_cast<double>(reinterpret_cast<uintptr_t>(host.record()));
}

class RecordReference : public ScopedTest, public ::testing::WithParamInterface<ReferenceCase> {};

TEST_P(RecordReference, SelectsTheHostRecordOrALocalOne) {
  const ReferenceCase& c = GetParam();
  host::HostBlock host;
  host.setParameters({});
  RightHandArguments arguments(c.reference(host), scalar(0.0));

  const SetupResult result = callSetup(&dxpFunction, 1, arguments);

  ASSERT_EQ(result.status, DXP_CALL_RETURNED) << result.message;
  ASSERT_EQ(result.entries().size(), 38u);
  EXPECT_EQ(result.entries()[DXP_WORD_RECORD_VERSION], 5200229.0);
  if (c.isHostRecord) {
    EXPECT_EQ(host.record()->flagWord & DXP_FLAG_PORT_DIMENSION_INFO, 1u);
    EXPECT_EQ(host.record()->sizes[DXP_WORD_RECORD_VERSION], DXP_RECORD_VERSION);
  } else {
    expectUntouched(*host.record(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    SetupCall, RecordReference,
    ::testing::Values(
        ReferenceCase{"AsTheHostBuildsIt",
                      [](host::HostBlock& h) { return h.makeRecordReference(); }, true},
        ReferenceCase{"ColumnsAreNotLookedAt",
                      [](host::HostBlock& h) {
                        return matrix(2, 3, {addressOf(h), 5200229.0, 1, 2, 3, 4});
                      },
                      true},
        ReferenceCase{"MarkerOffByAHalf",
                      [](host::HostBlock& h) {
                        return matrix(2, 1, {addressOf(h), 5200229.5});
                      },
                      false},
        ReferenceCase{"MarkerOffInTheLastBit",
                      [](host::HostBlock& h) {
                        return matrix(2, 1, {addressOf(h), std::nextafter(5200229.0, 6e6)});
                      },
                      false},
        ReferenceCase{"ThreeRows",
                      [](host::HostBlock& h) {
                        return matrix(3, 1, {addressOf(h), 5200229.0, 0.0});
                      },
                      false},
        ReferenceCase{"OneRow",
                      [](host::HostBlock& h) {
                        return matrix(1, 2, {addressOf(h), 5200229.0});
                      },
                      false},
        ReferenceCase{"EmptyArray", [](host::HostBlock&) { return emptyArray(); }, false},
        ReferenceCase{"NoDoubleData",
                      [](host::HostBlock&) {
                        return ArrayHandle(vqCreateNumericMatrix(2, 1, VQ_CLASS_INT32, VQ_REAL));
                      },
                      false},
        ReferenceCase{"AddressZero",
                      [](host::HostBlock&) {
                        return matrix(2, 1, {0.0, 5200229.0});
                      },
                      false},
        ReferenceCase{"AddressNaN",
                      [](host::HostBlock&) {
                        return matrix(2, 1, {std::nan(""), 5200229.0});
                      },
                      false},
        ReferenceCase{"NegativeAddress",
                      [](host::HostBlock&) {
                        return matrix(2, 1, {-4096.0, 5200229.0});
                      },
                      false},
        ReferenceCase{"FractionalAddress",
                      [](host::HostBlock& h) {
                        return matrix(2, 1, {addressOf(h) + 0.5, 5200229.0});
                      },
                      false},
        ReferenceCase{"AddressBeyondTheAddressRange",
                      [](host::HostBlock&) {
                        return matrix(2, 1, {1e300, 5200229.0});
                      },
                      false},
        ReferenceCase{"MissingArgument", [](host::HostBlock&) { return ArrayHandle(); }, false}),
    [](const ::testing::TestParamInfo<ReferenceCase>& testInfo) { return testInfo.param.name; });

// ---- The name check ----

class NameCheck : public ScopedTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(NameCheck, AnyOtherNameIsRefusedBeforeTheRecordIsWritten) {
  const std::string blockName = GetParam();
  host::HostBlock host(blockName);
  host.setParameters({});
  host.record()->flagWord = 0x40u;
  RightHandArguments arguments(host.makeRecordReference(), scalar(0.0));

  const SetupResult result = callSetup(&dxpFunction, 1, arguments);

  EXPECT_EQ(result.status, DXP_CALL_RAISED);
  EXPECT_EQ(result.message, nameMismatch(blockName));
  expectUntouched(*host.record(), 0x40u);
}

INSTANTIATE_TEST_SUITE_P(SetupCall, NameCheck,
                         ::testing::Values("quenvarithx", "quenvari", "quenvarit", "Quenvarith",
                                           "quenvarith ", ""));

TEST_F(SetupCallTest, ANameTooLongForTheMessageBufferIsCut) {
  const std::string blockName(2000, 'n');
  host::HostBlock host(blockName);
  RightHandArguments arguments(host.makeRecordReference(), scalar(0.0));

  const SetupResult result = callSetup(&dxpFunction, 1, arguments);

  EXPECT_EQ(result.status, DXP_CALL_RAISED);
  // The 256-byte buffer holds 255 characters and the terminating zero.
  EXPECT_EQ(result.message, nameMismatch(blockName).substr(0, 255));
  expectUntouched(*host.record(), 0u);
}

TEST_F(SetupCallTest, ANullBlockNameIsAMismatch) {
  host::HostBlock host;
  host.record()->blockName = nullptr;
  RightHandArguments arguments(host.makeRecordReference(), scalar(0.0));

  const SetupResult result = callSetup(&dxpFunction, 1, arguments);

  EXPECT_EQ(result.status, DXP_CALL_RAISED);
  EXPECT_EQ(result.message, nameMismatch(""));
  expectUntouched(*host.record(), 0u);
}

// ---- The method table on a host record ----

using AnyFunction = void (*)();
template <typename Function>
AnyFunction asAny(Function function) {
  return reinterpret_cast<AnyFunction>(function);
}

void hostWordMethod(DxpBlockRecord*, int32_t, int32_t) {}
void hostMethod(DxpBlockRecord*) {}
void hostUnused() {}

TEST_F(SetupCallTest, SetupInstallsTheBlockMethodsAndKeepsTheHostsOtherSlots) {
  host::HostBlock host;
  host.setParameters({});
  DxpBlockRecord& record = *host.record();
  DxpMethodTable& methods = record.methods;
  methods.unused1 = methods.unused2 = methods.unused3 = methods.unused4 = methods.unused5 =
      &hostUnused;
  methods.inputPortDataType = methods.outputPortDataType = &hostWordMethod;
  methods.inputPortComplexSignal = methods.outputPortComplexSignal = &hostWordMethod;
  host.extension() = {&hostWordMethod, &hostMethod, &hostMethod, &hostMethod};
  record.flagWord = 0x40u;
  RightHandArguments arguments(host.makeRecordReference(), scalar(0.0));

  const SetupResult result = callSetup(&dxpFunction, 1, arguments);
  ASSERT_EQ(result.status, DXP_CALL_RETURNED) << result.message;

  const struct {
    const char* slot;
    AnyFunction held;
    AnyFunction expected;
  } slots[] = {
      {"sizes", asAny(methods.sizes), asAny(&mdlDeclareSizes)},
      {"input port dims", asAny(methods.inputPortWidthOrDims.dimensionInfo),
       asAny(&mdlSetInputPortDimensionInfo)},
      {"output port dims", asAny(methods.outputPortWidthOrDims.dimensionInfo),
       asAny(&mdlSetOutputPortDimensionInfo)},
      {"sample times", asAny(methods.sampleTimes), asAny(&mdlDeclareSampleTimes)},
      {"input sample time", asAny(methods.inputPortSampleTime), asAny(&mdlSetInputPortSampleTime)},
      {"output sample time", asAny(methods.outputPortSampleTime),
       asAny(&mdlSetOutputPortSampleTime)},
      {"work widths", asAny(methods.workWidths), asAny(&mdlSetWorkWidths)},
      {"initial conditions", asAny(methods.initialConditions), asAny(&mdlInitializeConditions)},
      {"start", asAny(methods.start), asAny(&mdlStart)},
      {"check parameters", asAny(methods.checkParameters), asAny(&mdlCheckParameters)},
      {"process parameters", asAny(methods.processParameters), asAny(&mdlProcessParameters)},
      {"next variable hit", asAny(methods.timeOfNextVarHit), asAny(&reportNoVariableHit)},
      {"outputs", asAny(methods.outputs), asAny(&mdlComputeOutputs)},
      {"zero crossings", asAny(methods.zeroCrossings), asAny(&reportNoZeroCrossings)},
      {"end of run", asAny(methods.endOfRun), asAny(&mdlFinish)},
      {"unused 1", asAny(methods.unused1), asAny(&hostUnused)},
      {"unused 2", asAny(methods.unused2), asAny(&hostUnused)},
      {"unused 3", asAny(methods.unused3), asAny(&hostUnused)},
      {"unused 4", asAny(methods.unused4), asAny(&hostUnused)},
      {"unused 5", asAny(methods.unused5), asAny(&hostUnused)},
      {"input data type", asAny(methods.inputPortDataType), asAny(&hostWordMethod)},
      {"output data type", asAny(methods.outputPortDataType), asAny(&hostWordMethod)},
      {"input complex", asAny(methods.inputPortComplexSignal), asAny(&hostWordMethod)},
      {"output complex", asAny(methods.outputPortComplexSignal), asAny(&hostWordMethod)},
      {"ext. frame data", asAny(host.extension().inputPortFrameData), asAny(&hostWordMethod)},
      {"ext. default dims", asAny(host.extension().defaultPortDimensionInfo), asAny(&hostMethod)},
      {"ext. default types", asAny(host.extension().defaultPortDataTypes), asAny(&hostMethod)},
      {"ext. default complex", asAny(host.extension().defaultPortComplexSignals),
       asAny(&hostMethod)},
  };
  for (const auto& slot : slots) {
    EXPECT_EQ(slot.held, slot.expected) << slot.slot;
  }
  EXPECT_EQ(record.flagWord & (DXP_FLAG_PORT_DIMENSION_INFO | 0x40u),
            DXP_FLAG_PORT_DIMENSION_INFO | 0x40u);
  EXPECT_EQ(record.sizes[DXP_WORD_RECORD_VERSION], DXP_RECORD_VERSION);
}

// ---- The sizes vector ----

struct SizesWordCase {
  size_t word;
  int32_t stored;
  double reported;
};

TEST(ReportSizes, ReportsWords15To18AndTheOptionWordUnsignedAndTheRestSigned) {
  const SizesWordCase cases[] = {
      {0, -5, -5.0},
      {6, -1, -1.0},
      {14, INT32_MIN, -2147483648.0},
      {15, -1, 4294967295.0},
      {16, INT32_MIN, 2147483648.0},
      {17, 7, 7.0},
      {18, -2, 4294967294.0},
      {19, DXP_RECORD_VERSION, 5200229.0},
      {22, -1, -1.0},
      {23, -1, 4294967295.0},
      {24, -1, -1.0},
      {37, INT32_MAX, 2147483647.0},
  };
  DxpBlockRecord record{};
  for (const SizesWordCase& c : cases) {
    record.sizes[c.word] = c.stored;
  }
  std::array<double, DXP_SIZES_WORD_COUNT> sizesVector{};
  sizesVector.fill(99.0);

  entry::reportSizes(&record, sizesVector);

  for (const SizesWordCase& c : cases) {
    EXPECT_EQ(sizesVector[c.word], c.reported) << "word " << c.word;
  }
  for (size_t word = 0; word < sizesVector.size(); ++word) {
    EXPECT_NE(sizesVector[word], 99.0) << "word " << word << " not written";
  }
}

TEST(ReportSizes, AddsTheSetupBitToTheOptionWordBeforeReportingIt) {
  for (const int32_t optionWord : {0, 2, 0x2000, INT32_MIN}) {
    DxpBlockRecord record{};
    record.sizes[DXP_WORD_OPTIONS] = optionWord;
    std::array<double, DXP_SIZES_WORD_COUNT> sizesVector{};
    entry::reportSizes(&record, sizesVector);
    const uint32_t expected = static_cast<uint32_t>(optionWord) | 0x2000u;
    EXPECT_EQ(static_cast<uint32_t>(record.sizes[DXP_WORD_OPTIONS]), expected);
    EXPECT_EQ(sizesVector[DXP_WORD_OPTIONS], static_cast<double>(expected));
  }
}

TEST_F(SetupCallTest, AHostRecordsWordsReachTheSizesVector) {
  host::HostBlock host;
  host.setParameters({});
  host.record()->sizes[15] = -1;
  host.record()->sizes[30] = -1;
  RightHandArguments arguments(host.makeRecordReference(), scalar(0.0));

  const std::vector<double> entries = callSetup(&dxpFunction, 1, arguments).entries();

  ASSERT_EQ(entries.size(), 38u);
  EXPECT_EQ(entries[15], 4294967295.0);
  EXPECT_EQ(entries[30], -1.0);
}

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

TEST_F(SetupCallTest, AHostRecordReportsTheOptionWordWithTheSetupBit) {
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
