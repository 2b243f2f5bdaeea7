// The host layer the block runs on: arrays, the zeroed allocator, raising errors, and the
// host's side of a block record.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/block_record.h"
#include "host/dxp.h"
#include "host/host_block.h"
#include "host/vq.h"
#include "test_records.h"

namespace quenvarith {
namespace {

using host::ArrayHandle;
using host::HostBlock;

// ---- Arrays ----

struct ArrayKind {
  const char* name;
  VqArray* (*make)();
  size_t rows;
  size_t columns;
  bool numeric;
  bool complex;
  bool sparse;
  bool isDouble;
  bool hasRealData;  // vqGetPr gives data
};

void PrintTo(const ArrayKind& kind, std::ostream* out) {
  *out << kind.name;
}

class ArrayPredicates : public ::testing::TestWithParam<ArrayKind> {};

TEST_P(ArrayPredicates, AnswerForEveryKindOfArray) {
  const ArrayKind& kind = GetParam();
  const ArrayHandle array(kind.make());
  EXPECT_EQ(vqGetM(array.get()), kind.rows);
  EXPECT_EQ(vqGetN(array.get()), kind.columns);
  EXPECT_EQ(vqGetNumberOfElements(array.get()), kind.rows * kind.columns);
  EXPECT_EQ(vqIsEmpty(array.get()) != 0, kind.rows * kind.columns == 0);
  EXPECT_EQ(vqIsNumeric(array.get()) != 0, kind.numeric);
  EXPECT_EQ(vqIsComplex(array.get()) != 0, kind.complex);
  EXPECT_EQ(vqIsSparse(array.get()) != 0, kind.sparse);
  EXPECT_EQ(vqIsDouble(array.get()) != 0, kind.isDouble);
  EXPECT_EQ(vqGetPr(array.get()) != nullptr, kind.hasRealData);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ArrayPredicates,
    ::testing::Values(
        ArrayKind{"DoubleScalar", [] { return vqCreateDoubleScalar(2.5); }, 1, 1, true, false,
                  false, true, true},
        ArrayKind{"ComplexMatrix", [] { return vqCreateDoubleMatrix(2, 3, VQ_COMPLEX); }, 2, 3,
                  true, true, false, true, true},
        ArrayKind{"EmptyDouble", [] { return vqCreateDoubleMatrix(0, 0, VQ_REAL); }, 0, 0, true,
                  false, false, true, false},
        ArrayKind{"EmptyColumns", [] { return vqCreateDoubleMatrix(1, 0, VQ_REAL); }, 1, 0, true,
                  false, false, true, false},
        ArrayKind{"Sparse", [] { return vqCreateSparseScalar(1, 1, 4.0); }, 1, 1, true, false, true,
                  true, true},
        ArrayKind{"Single", [] { return vqCreateNumericMatrix(1, 1, VQ_CLASS_SINGLE, VQ_REAL); }, 1,
                  1, true, false, false, false, false},
        ArrayKind{"Int32", [] { return vqCreateNumericMatrix(1, 2, VQ_CLASS_INT32, VQ_REAL); }, 1,
                  2, true, false, false, false, false},
        ArrayKind{"Text", [] { return vqCreateString("abc"); }, 1, 3, false, false, false, false,
                  false},
        ArrayKind{"EmptyText", [] { return vqCreateString(""); }, 0, 0, false, false, false, false,
                  false}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(Arrays, ScalarsAndMatricesHoldTheirValues) {
  const ArrayHandle scalar(vqCreateDoubleScalar(-0.75));
  EXPECT_EQ(vqGetPr(scalar.get())[0], -0.75);
  const ArrayHandle sparse(vqCreateSparseScalar(3, 3, 6.0));
  EXPECT_EQ(vqGetPr(sparse.get())[0], 6.0);

  // A created matrix is zeroed and writable, column-major.
  const ArrayHandle matrix(vqCreateDoubleMatrix(38, 1, VQ_REAL));
  double* data = vqGetPr(matrix.get());
  for (size_t i = 0; i < 38; ++i) {
    EXPECT_EQ(data[i], 0.0);
  }
  data[37] = 5200229.0;
  EXPECT_EQ(vqGetPr(matrix.get())[37], 5200229.0);

  const ArrayHandle complexMatrix(vqCreateDoubleMatrix(1, 2, VQ_COMPLEX));
  EXPECT_NE(vqGetPi(complexMatrix.get()), nullptr);
  EXPECT_EQ(vqGetPi(scalar.get()), nullptr);
}

TEST(Arrays, InfAndNaNPredicates) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(vqIsInf(inf));
  EXPECT_TRUE(vqIsInf(-inf));
  EXPECT_FALSE(vqIsInf(1e308));
  EXPECT_FALSE(vqIsInf(std::nan("")));
  EXPECT_TRUE(vqIsNaN(std::nan("")));
  EXPECT_FALSE(vqIsNaN(inf));
  EXPECT_FALSE(vqIsNaN(0.0));
}

// ---- The zeroed allocator ----

TEST(Calloc, GivesZeroedMemoryOwnedByTheCurrentScope) {
  VqAllocationScope* scope = vqCreateAllocationScope();
  {
    const host::ScopeActivation active(scope);
    auto* bytes = static_cast<unsigned char*>(vqCalloc(100, 8));
    ASSERT_NE(bytes, nullptr);
    for (size_t i = 0; i < 800; ++i) {
      ASSERT_EQ(bytes[i], 0) << i;
    }
    std::memset(bytes, 0xff, 800);       // writable
    EXPECT_NE(vqCalloc(0, 8), nullptr);  // even an empty request gives a usable address
    EXPECT_EQ(vqAllocationCount(scope), 2u);
    EXPECT_EQ(vqAllocatedBytes(scope), 800u);
  }
  // Outside the activation allocations go elsewhere.
  VqAllocationScope* other = vqCreateAllocationScope();
  {
    const host::ScopeActivation active(other);
    vqCalloc(1, 1);
  }
  EXPECT_EQ(vqAllocationCount(scope), 2u);
  EXPECT_EQ(vqAllocationCount(other), 1u);
  vqDestroyAllocationScope(other);
  vqDestroyAllocationScope(scope);  // releases both blocks
}

TEST(Calloc, ActivationsNestAndRestore) {
  VqAllocationScope* outer = vqCreateAllocationScope();
  VqAllocationScope* inner = vqCreateAllocationScope();
  {
    const host::ScopeActivation activeOuter(outer);
    {
      const host::ScopeActivation activeInner(inner);
      vqCalloc(2, 4);
    }
    vqCalloc(3, 4);
  }
  EXPECT_EQ(vqAllocatedBytes(inner), 8u);
  EXPECT_EQ(vqAllocatedBytes(outer), 12u);
  EXPECT_EQ(vqSetCurrentAllocationScope(nullptr), nullptr);
  vqDestroyAllocationScope(inner);
  vqDestroyAllocationScope(outer);
}

TEST(Calloc, DestroyingTheCurrentScopeLeavesNoneCurrent) {
  VqAllocationScope* scope = vqCreateAllocationScope();
  vqSetCurrentAllocationScope(scope);
  vqDestroyAllocationScope(scope);
  EXPECT_EQ(vqSetCurrentAllocationScope(nullptr), nullptr);
}

// ---- Raising errors ----

// Unwinding must run the destructors of the plug-in's frames.
class UnwindWitness {
 public:
  explicit UnwindWitness(bool* destroyed) : destroyed_(destroyed) {}
  UnwindWitness(const UnwindWitness&) = delete;
  UnwindWitness& operator=(const UnwindWitness&) = delete;
  ~UnwindWitness() { *destroyed_ = true; }

 private:
  bool* destroyed_;
};

bool gWitnessDestroyed = false;     // NOLINT: an entry point's only way out is a global
bool gReachedAfterRaise = false;    // NOLINT
const char* gRaisedText = nullptr;  // NOLINT

void raisingEntry(int /*nlhs*/, VqArray* /*plhs*/[], int /*nrhs*/, const VqArray* /*prhs*/[]) {
  const UnwindWitness witness(&gWitnessDestroyed);
  dxpErrMsgTxt(gRaisedText);
  gReachedAfterRaise = true;  // never reached
}

void returningEntry(int nlhs, VqArray* plhs[], int /*nrhs*/, const VqArray* /*prhs*/[]) {
  if (nlhs > 0) {
    plhs[0] = vqCreateDoubleScalar(1.0);
  }
}

class RaiseError : public ::testing::Test {
 protected:
  void SetUp() override {
    gWitnessDestroyed = false;
    gReachedAfterRaise = false;
  }
};

TEST_F(RaiseError, UnwindsToTheHostWithTheExactText) {
  const std::string text = "DXP level2 plug-in \"quenvarith\": Invalid number of arguments.";
  gRaisedText = text.c_str();
  char message[DXP_ERROR_MESSAGE_CAPACITY] = "stale";

  EXPECT_EQ(dxpCallEntry(&raisingEntry, 0, nullptr, 0, nullptr, message), DXP_CALL_RAISED);

  EXPECT_EQ(std::string(message), text);
  EXPECT_TRUE(gWitnessDestroyed);
  EXPECT_FALSE(gReachedAfterRaise);
}

TEST_F(RaiseError, CutsOverlongTextAndAcceptsNoBuffer) {
  const std::string text(DXP_ERROR_MESSAGE_CAPACITY + 50, 'x');
  gRaisedText = text.c_str();
  char message[DXP_ERROR_MESSAGE_CAPACITY];
  EXPECT_EQ(dxpCallEntry(&raisingEntry, 0, nullptr, 0, nullptr, message), DXP_CALL_RAISED);
  EXPECT_EQ(std::string(message), text.substr(0, DXP_ERROR_MESSAGE_CAPACITY - 1));

  EXPECT_EQ(dxpCallEntry(&raisingEntry, 0, nullptr, 0, nullptr, nullptr), DXP_CALL_RAISED);
  gRaisedText = nullptr;  // a null text raises an empty message
  EXPECT_EQ(dxpCallEntry(&raisingEntry, 0, nullptr, 0, nullptr, message), DXP_CALL_RAISED);
  EXPECT_STREQ(message, "");
}

TEST_F(RaiseError, ReturnedCallClearsTheMessage) {
  std::array<VqArray*, 1> results{};
  char message[DXP_ERROR_MESSAGE_CAPACITY] = "stale";
  EXPECT_EQ(dxpCallEntry(&returningEntry, 1, results.data(), 0, nullptr, message),
            DXP_CALL_RETURNED);
  EXPECT_STREQ(message, "");
  const ArrayHandle result(results[0]);
  EXPECT_EQ(vqGetPr(result.get())[0], 1.0);
}

// ---- Frame flags ----

struct FrameFlagCase {
  uint32_t field;  // the two bits of the frame field
  DxpFrameFlag flag;
};

TEST(FrameFlag, DecodesTheTwoBitFieldOfEitherPort) {
  const std::array<FrameFlagCase, 4> cases{{{0u, DXP_FRAME_NO},
                                            {1u, DXP_FRAME_YES},
                                            {2u, DXP_FRAME_INHERITED},
                                            {3u, DXP_FRAME_INHERITED}}};
  constexpr uint32_t kOtherBits = 0xffffffe7u & 0xffffffe3u;  // outside both fields
  for (const FrameFlagCase& frameCase : cases) {
    DxpInputPort input{};
    DxpOutputPort output{};
    for (const uint32_t surrounding : {0u, kOtherBits}) {
      input.attributes = surrounding | (frameCase.field << DXP_INPUT_FRAME_SHIFT);
      output.attributes = surrounding | (frameCase.field << DXP_OUTPUT_FRAME_SHIFT);
      EXPECT_EQ(dxpInputFrameFlag(&input), frameCase.flag) << frameCase.field;
      EXPECT_EQ(dxpOutputFrameFlag(&output), frameCase.flag) << frameCase.field;
    }
  }
}

TEST(FrameFlag, EncodingKeepsTheOtherBits) {
  for (const DxpFrameFlag flag : {DXP_FRAME_NO, DXP_FRAME_YES, DXP_FRAME_INHERITED}) {
    const uint32_t encoded = dxpEncodeFrameFlag(0xffffffffu, DXP_INPUT_FRAME_SHIFT, flag);
    EXPECT_EQ(dxpDecodeFrameFlag(encoded, DXP_INPUT_FRAME_SHIFT), flag);
    EXPECT_EQ(encoded | (3u << DXP_INPUT_FRAME_SHIFT), 0xffffffffu);
  }
}

// ---- The host's side of a record ----

TEST(HostBlockRecord, PortsStartConnectedDynamicAndInherited) {
  HostBlock host;
  host.createPorts(1, 1);
  EXPECT_EQ(host.record()->sizes[DXP_WORD_NUM_INPUT_PORTS], 1);
  EXPECT_EQ(host.record()->sizes[DXP_WORD_NUM_OUTPUT_PORTS], 1);
  const DxpInputPort& input = host.record()->inputPorts[0];
  EXPECT_EQ(input.width, -1);
  EXPECT_NE(input.connected, 0);
  EXPECT_EQ(input.sampleTime, -1.0);
  EXPECT_EQ(dxpInputFrameFlag(&input), DXP_FRAME_INHERITED);
  EXPECT_EQ(dxpOutputFrameFlag(&host.record()->outputPorts[0]), DXP_FRAME_INHERITED);
  host.setInputFrameFlag(DXP_FRAME_YES);
  EXPECT_EQ(dxpInputFrameFlag(&input), DXP_FRAME_YES);
}

TEST(HostBlockRecord, DimensionOperationsStoreACopyOfWhatTheyAreOffered) {
  HostBlock host;
  host.createPorts(1, 1);
  DxpBlockRecord* record = host.record();
  std::array<int32_t, 2> sizes{6, 1};
  const DxpDimsInfo offered{6, 2, sizes.data(), 0};

  EXPECT_EQ(record->simInfo->setInputPortDimensionInfo(record, 0, &offered), 1);
  sizes = {9, 9};  // the block's record may go away; the host keeps its own copy
  const DxpInputPort& input = host.inputPort();
  EXPECT_EQ(input.width, 6);
  EXPECT_EQ(input.numDims, 2);
  ASSERT_NE(input.dims, nullptr);
  EXPECT_EQ(input.dims[0], 6);
  EXPECT_EQ(input.dims[1], 1);
  ASSERT_EQ(host.offeredInputSizes().size(), 1u);
  EXPECT_EQ(host.offeredInputSizes()[0], (std::vector<int32_t>{6, 1}));

  EXPECT_EQ(record->simInfo->setOutputPortDimensionInfo(record, 0, &dxpDynamicDims), 1);
  EXPECT_EQ(host.outputPort().width, -1);
  EXPECT_EQ(host.outputPort().dims, nullptr);
}

TEST(HostBlockRecord, DimensionOperationsRefuseWhatNoHostAccepts) {
  HostBlock host;
  host.createPorts(1, 1);
  DxpBlockRecord* record = host.record();
  const DxpDimsInfo noSizes{4, 1, nullptr, 0};
  const DxpDimsInfo badCount{4, -2, nullptr, 0};
  std::array<int32_t, 1> width{4};
  const DxpDimsInfo good{4, 1, width.data(), 0};
  EXPECT_EQ(record->simInfo->setInputPortDimensionInfo(record, 0, &noSizes), 0);
  EXPECT_EQ(record->simInfo->setInputPortDimensionInfo(record, 0, &badCount), 0);
  EXPECT_EQ(record->simInfo->setInputPortDimensionInfo(record, 1, &good), 0);  // no port 1
  EXPECT_EQ(record->simInfo->setInputPortDimensionInfo(record, 0, nullptr), 0);
  EXPECT_EQ(host.inputPort().width, -1);

  host.failDimensionOperations(true);
  EXPECT_EQ(record->simInfo->setOutputPortDimensionInfo(record, 0, &good), 0);
  EXPECT_EQ(host.offeredOutputDims().size(), 1u);  // still recorded
  EXPECT_EQ(host.outputPort().width, -1);
}

TEST(HostBlockRecord, WorkVectorCountOperation) {
  HostBlock host;
  DxpBlockRecord* record = host.record();
  EXPECT_EQ(record->setNumWorkVectors(record, 6), 1);
  EXPECT_EQ(record->numWorkVectors, 6);
  EXPECT_EQ(record->setNumWorkVectors(record, -1), 1);
  EXPECT_EQ(record->setNumWorkVectors(record, DXP_MAX_WORK_VECTORS + 1), 0);
  host.failWorkVectorOperation(true);
  EXPECT_EQ(record->setNumWorkVectors(record, 6), 0);
  host.removeWorkVectorOperation();
  EXPECT_EQ(record->setNumWorkVectors, nullptr);
}

TEST(HostBlockRecord, AllocatesZeroedWorkVectorsAndSignals) {
  HostBlock host;
  host.createPorts(1, 1);
  host.inputPort().width = 6;
  host.outputPort().width = 24;
  host.outputPort().complexity = DXP_COMPLEX;
  testing::declareWorkVectors(host.record(), 3, 8, 4);
  std::string message;
  ASSERT_TRUE(host.allocateRunStorage(&message)) << message;

  const std::array<size_t, 6> elements{3, 48, 1, 4, 4, 1};
  for (int i = 0; i < 6; ++i) {
    const DxpWorkVector& vector = host.record()->workVectors[i];
    ASSERT_NE(vector.data, nullptr) << i;
    const size_t bytes =
        elements[static_cast<size_t>(i)] * (vector.dataType == DXP_TYPE_INT32 ? 4u : 8u);
    const auto* data = static_cast<const unsigned char*>(vector.data);
    for (size_t b = 0; b < bytes; ++b) {
      ASSERT_EQ(data[b], 0) << "work vector " << i;
    }
  }
  // Every buffer on a cache line, so that the vector kernels' stores never straddle two.
  const auto onCacheLine = [](const void* data) {
    return reinterpret_cast<uintptr_t>(data) % host::kCacheLineBytes == 0;
  };
  for (int i = 0; i < 6; ++i) {
    EXPECT_TRUE(onCacheLine(host.record()->workVectors[i].data)) << "work vector " << i;
  }
  EXPECT_TRUE(onCacheLine(host.record()->inputPorts[0].signal));
  EXPECT_TRUE(onCacheLine(host.record()->outputPorts[0].signal));
  EXPECT_EQ(host.workVector<double>(1).size(), 48u);  // complex: two doubles per sample
  EXPECT_EQ(host.workVector<int32_t>(0).size(), 3u);
  EXPECT_EQ(host.inputSignal().size(), 6u);
  EXPECT_EQ(host.record()->inputPorts[0].signal, host.inputSignal().data());
  EXPECT_EQ(host.outputSignal().size(), 48u);
  EXPECT_EQ(host.record()->outputPorts[0].signal, host.outputSignal().data());
}

TEST(HostBlockRecord, RefusesDeclarationsItCannotAllocate) {
  const auto attempt = [](auto change) {
    HostBlock host;
    host.createPorts(1, 1);
    host.inputPort().width = 2;
    host.outputPort().width = 8;
    testing::declareWorkVectors(host.record(), 1, 8, 4);
    change(host);
    std::string message;
    const bool allocated = host.allocateRunStorage(&message);
    EXPECT_EQ(allocated, message.empty()) << message;
    return allocated;
  };
  EXPECT_TRUE(attempt([](HostBlock&) {}));
  EXPECT_FALSE(attempt([](HostBlock& host) { host.record()->workVectors[3].width = -1; }));
  EXPECT_FALSE(attempt([](HostBlock& host) { host.record()->workVectors[2].dataType = 3; }));
  EXPECT_FALSE(attempt([](HostBlock& host) { host.inputPort().width = -1; }));
  EXPECT_FALSE(attempt([](HostBlock& host) { host.outputPort().width = -1; }));
}

TEST(HostBlockRecord, HitsAreLookedUpThroughTheTaskOfEachSampleTimeIndex) {
  HostBlock host;
  host.setSampleTimeTasks({1, 0}, 2);  // index 0 runs in task 1, index 1 in task 0
  const std::array<int32_t, 2> onlyTaskOne{0, 1};
  host.setHits(onlyTaskOne);
  EXPECT_TRUE(dxpPortHasHit(host.record(), 0));
  EXPECT_FALSE(dxpPortHasHit(host.record(), 1));
}

}  // namespace
}  // namespace quenvarith
