#include "block/dimensions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/host_block.h"

namespace quenvarith {
namespace {

using host::HostBlock;
using host::ParameterValues;

constexpr const char* kWidthFailed = "Port width propagation failed.";
constexpr const char* kFrameInputShape =
    "In frame-based mode, inputs must be scalars or column vectors.";
constexpr const char* kFrameBitInput =
    "In frame-based bit input mode, the width of the input vector must be an integer multiple of "
    "the number of bits per symbol.";
constexpr const char* kSampleIntegerInput =
    "In sample-based integer input mode, the input must be a scalar.";
constexpr const char* kSampleBitInput =
    "In sample-based bit input mode, the input must be a vector whose width equals the number of "
    "bits per symbol.";
constexpr const char* kFrameOutputShape =
    "In frame-based mode, outputs must be scalars or column vectors.";
constexpr const char* kFrameOutputLength =
    "The output length must be a multiple of the number of samples per symbol.";
constexpr const char* kSampleOutput = "In sample-based mode, the output must be a scalar.";

// A port shape: its sizes, rows first; one size for a 1-D vector.
struct Shape {
  std::vector<int32_t> sizes;

  // A dimension record over these sizes, valid while the shape lives.
  DxpDimsInfo record() {
    int64_t width = 1;
    for (const int32_t size : sizes) {
      width *= size;
    }
    return {static_cast<int32_t>(width), static_cast<int32_t>(sizes.size()), sizes.data(), 0};
  }
  bool operator==(const Shape&) const = default;
};

Shape vec(int32_t width) {
  return {{width}};
}
Shape mat(int32_t rows, int32_t cols) {
  return {{rows, cols}};
}

std::ostream& operator<<(std::ostream& stream, const Shape& shape) {
  for (size_t i = 0; i < shape.sizes.size(); ++i) {
    stream << (i == 0 ? "" : " x ") << shape.sizes[i];
  }
  return stream << (shape.sizes.size() == 1 ? " (1-D)" : "");
}

// What a port holds: empty while dynamic.
template <typename Port>
Shape shapeOf(const Port& port) {
  if (port.width == -1 || port.dims == nullptr || port.numDims < 1) {
    return {};
  }
  return {{port.dims, port.dims + port.numDims}};
}

struct Setting {
  DxpFrameFlag flag;
  double inputType;
  double m;
  double n;
};

constexpr Setting frameBit(double m, double n) {
  return {DXP_FRAME_YES, 1, m, n};
}
constexpr Setting sampleBit(double m) {
  return {DXP_FRAME_NO, 1, m, 8};
}

class PortDimensions : public ::testing::Test {
 protected:
  PortDimensions() {
    host.setParameters({});
    host.createPorts(1, 1);
  }

  void configure(const Setting& setting) {
    ParameterValues values;
    values.inputType = setting.inputType;
    values.mAryNumber = setting.m;
    values.samplesPerSymbol = setting.n;
    host.setParameters(values);
    host.setInputFrameFlag(setting.flag);
  }
  std::string status() {
    const char* text = dxpGetErrorStatus(host.record());
    return text != nullptr ? text : "";
  }
  std::string offerInput(Shape shape) {
    const DxpDimsInfo offered = shape.record();
    mdlSetInputPortDimensionInfo(host.record(), 0, &offered);
    return status();
  }
  std::string offerOutput(Shape shape) {
    const DxpDimsInfo offered = shape.record();
    mdlSetOutputPortDimensionInfo(host.record(), 0, &offered);
    return status();
  }
  void sizeOutput(Shape shape) { ASSERT_TRUE(host.storeOutputDims(0, shape.record())); }
  void sizeInput(Shape shape) { ASSERT_TRUE(host.storeInputDims(0, shape.record())); }
  Shape input() { return shapeOf(host.inputPort()); }
  Shape output() { return shapeOf(host.outputPort()); }

  HostBlock host;
};

using InputDimensionInfo = PortDimensions;
using OutputDimensionInfo = PortDimensions;
using DimensionSetters = PortDimensions;

// ---- The derivations, from tables ----

// Bit input of k bits per symbol, or integer input; N samples per symbol.
constexpr SymbolSizes bits(int32_t k, int32_t n = 8) {
  return {false, k, n};
}
constexpr SymbolSizes integers(int32_t n = 8) {
  return {true, 1, n};
}

// The offer as a port holds it once the host has stored `shape`.
PortOffer offerOf(const Shape& shape) {
  Shape copy = shape;
  const DxpDimsInfo record = copy.record();
  return {record.width, record.numDims, shape.sizes[0],
          shape.sizes.size() >= 2 ? shape.sizes[1] : 1};
}

Shape shapeOf(const PortShape& shape) {
  return shape.numDims == 1 ? vec(shape.rows) : mat(shape.rows, shape.columns);
}

struct Accepted {
  DxpFrameFlag frame;
  SymbolSizes sizes;
  Shape offered;
  Shape other;                    // offered to the other port while dynamic
  std::optional<int32_t> first;   // its first dimension, where a sized port is compared
  std::optional<int32_t> second;  // its second
};

struct Refused {
  DxpFrameFlag frame;
  SymbolSizes sizes;
  Shape offered;
  const char* message;
};

void expectAccepted(const OtherPort& derived, const Accepted& expected) {
  SCOPED_TRACE(testing::Message() << expected.offered << " gives " << expected.other);
  EXPECT_EQ(derived.failure, nullptr);
  EXPECT_EQ(shapeOf(derived.shape), expected.other);
  EXPECT_EQ(derived.firstDimension, expected.first);
  EXPECT_EQ(derived.secondDimension, expected.second);
}

constexpr std::optional<int32_t> kNotCompared = std::nullopt;

TEST(DeriveOutputPort, FollowsTheSignalRules) {
  const Accepted cases[] = {
      {DXP_FRAME_YES, bits(2), mat(6, 1), mat(24, 1), 24, kNotCompared},
      {DXP_FRAME_YES, bits(2), vec(6), vec(24), 24, kNotCompared},
      {DXP_FRAME_YES, integers(4), mat(5, 1), mat(20, 1), 20, kNotCompared},
      // A flag still inherited gets the frame-based rules on this side.
      {DXP_FRAME_INHERITED, bits(2), mat(6, 1), mat(24, 1), 24, kNotCompared},
      {DXP_FRAME_NO, bits(3), vec(3), vec(1), 1, kNotCompared},
      {DXP_FRAME_NO, bits(3), mat(3, 1), mat(1, 1), 1, kNotCompared},
      // A single sample-based row is compared by both dimensions.
      {DXP_FRAME_NO, bits(3), mat(1, 3), mat(1, 1), 1, 1},
      {DXP_FRAME_NO, integers(), mat(1, 1), mat(1, 1), 1, kNotCompared},
      {DXP_FRAME_NO, integers(), vec(1), vec(1), 1, kNotCompared},
  };
  for (const Accepted& testCase : cases) {
    expectAccepted(deriveOutputPort(offerOf(testCase.offered), testCase.frame, testCase.sizes),
                   testCase);
  }
}

TEST(DeriveOutputPort, RefusesShapesAgainstTheSignalRules) {
  const Refused cases[] = {
      {DXP_FRAME_YES, bits(3), mat(10, 1), kFrameBitInput},
      {DXP_FRAME_YES, bits(2), mat(1, 6), kFrameInputShape},
      {DXP_FRAME_INHERITED, integers(), mat(2, 3), kFrameInputShape},
      {DXP_FRAME_NO, integers(), vec(3), kSampleIntegerInput},
      {DXP_FRAME_NO, integers(), mat(3, 1), kSampleIntegerInput},
      {DXP_FRAME_NO, bits(6), mat(3, 2), kSampleBitInput},  // neither one column nor one row
      {DXP_FRAME_NO, bits(3), vec(2), kSampleBitInput},
      {DXP_FRAME_NO, bits(3), mat(4, 1), kSampleBitInput},
  };
  for (const Refused& testCase : cases) {
    SCOPED_TRACE(testing::Message() << testCase.offered);
    const OtherPort derived =
        deriveOutputPort(offerOf(testCase.offered), testCase.frame, testCase.sizes);
    EXPECT_STREQ(derived.failure, testCase.message);
  }
}

TEST(DeriveInputPort, FollowsTheSignalRules) {
  const Accepted cases[] = {
      {DXP_FRAME_YES, bits(2), mat(16, 1), mat(4, 1), 4, kNotCompared},
      {DXP_FRAME_YES, bits(2), vec(16), vec(4), 4, kNotCompared},
      {DXP_FRAME_YES, integers(4), mat(20, 1), mat(5, 1), 5, kNotCompared},
      // A 2-D sample-based output of bit input makes the input a vector and is not compared.
      {DXP_FRAME_NO, bits(3), mat(1, 1), vec(3), kNotCompared, kNotCompared},
      {DXP_FRAME_NO, bits(3), vec(1), vec(3), 3, kNotCompared},
      {DXP_FRAME_NO, integers(), mat(1, 1), mat(1, 1), 1, kNotCompared},
      {DXP_FRAME_INHERITED, integers(), vec(1), vec(1), 1, kNotCompared},
  };
  for (const Accepted& testCase : cases) {
    expectAccepted(deriveInputPort(offerOf(testCase.offered), testCase.frame, testCase.sizes),
                   testCase);
  }
}

TEST(DeriveInputPort, RefusesShapesAgainstTheSignalRules) {
  const Refused cases[] = {
      {DXP_FRAME_YES, bits(2), mat(12, 1), kFrameOutputLength},
      {DXP_FRAME_YES, bits(2), mat(16, 2), kFrameOutputShape},
      // Only a decided frame flag counts as frame-based on this side.
      {DXP_FRAME_INHERITED, bits(2), vec(24), kSampleOutput},
      {DXP_FRAME_NO, bits(3), mat(1, 2), kSampleOutput},
      {DXP_FRAME_NO, integers(), vec(3), kSampleOutput},
  };
  for (const Refused& testCase : cases) {
    SCOPED_TRACE(testing::Message() << testCase.offered);
    const OtherPort derived =
        deriveInputPort(offerOf(testCase.offered), testCase.frame, testCase.sizes);
    EXPECT_STREQ(derived.failure, testCase.message);
  }
}

// ---- The methods on a record ----

// The derived shape reaches the other port through the host's operation.
TEST_F(InputDimensionInfo, SettlesTheDynamicOutput) {
  const struct {
    Setting setting;
    Shape offered;
    Shape output;
  } cases[] = {
      {frameBit(4, 8), mat(6, 1), mat(24, 1)},
      {frameBit(4, 8), vec(6), vec(24)},
      {sampleBit(8), mat(1, 3), mat(1, 1)},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testing::Message() << testCase.offered << " gives " << testCase.output);
    configure(testCase.setting);
    host.storeOutputDims(0, dxpDynamicDims);
    EXPECT_EQ(offerInput(testCase.offered), "");
    EXPECT_EQ(input(), testCase.offered);
    EXPECT_EQ(output(), testCase.output);
  }
}

TEST_F(InputDimensionInfo, RefusedOfferIsKeptAndLeavesTheOutputDynamic) {
  const struct {
    Setting setting;
    Shape offered;
    const char* message;
  } cases[] = {
      {frameBit(8, 8), mat(10, 1), kFrameBitInput},
      {frameBit(4, 8), {{6, 1, 1}}, "Input must be 1-D or 2-D."},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.message);
    dxpSetErrorStatus(host.record(), nullptr);
    configure(testCase.setting);
    EXPECT_EQ(offerInput(testCase.offered), testCase.message);
    EXPECT_EQ(input(), testCase.offered) << "the host keeps what it was offered";
    EXPECT_EQ(output(), Shape{}) << "the output stays dynamic";
  }
}

TEST_F(InputDimensionInfo, ComparesWithAnOutputAlreadySized) {
  configure(frameBit(4, 8));
  sizeOutput(mat(24, 1));
  EXPECT_EQ(offerInput(mat(6, 1)), "");
  EXPECT_EQ(offerInput(mat(5, 1)), kFrameBitInput);
  dxpSetErrorStatus(host.record(), nullptr);
  EXPECT_EQ(offerInput(mat(8, 1)), kWidthFailed);
  EXPECT_EQ(output(), mat(24, 1));

  // A single sample-based row is compared by both dimensions.
  configure(sampleBit(8));
  for (const Shape& scalar : {vec(1), mat(1, 1)}) {
    dxpSetErrorStatus(host.record(), nullptr);
    sizeOutput(scalar);
    EXPECT_EQ(offerInput(mat(1, 3)), "") << scalar;
  }
  sizeOutput(mat(1, 2));
  EXPECT_EQ(offerInput(mat(1, 3)), kWidthFailed);
}

TEST_F(InputDimensionInfo, UnconnectedInputIsStoredAndLeftUnchecked) {
  configure(frameBit(4, 8));
  host.inputPort().connected = 0;
  EXPECT_EQ(offerInput(mat(1, 7)), "");
  EXPECT_EQ(host.offeredInputDims().size(), 1u);
  EXPECT_EQ(input(), mat(1, 7));
  EXPECT_EQ(output(), Shape{});
}

TEST_F(InputDimensionInfo, FailingHostOperationEndsTheCallSilently) {
  configure(frameBit(4, 8));
  host.failDimensionOperations(true);
  EXPECT_EQ(offerInput(mat(1, 6)), "");
  EXPECT_EQ(host.offeredOutputDims().size(), 0u);
}

// Without the host operation the rules read the offered record and what the port holds, and the
// output setter has nothing to call.
TEST_F(InputDimensionInfo, AbsentHostOperationChecksThePortRecord) {
  configure(frameBit(4, 8));
  host.removeDimensionOperations();
  sizeInput(mat(6, 1));
  EXPECT_EQ(offerInput(mat(6, 1)), "");
  EXPECT_EQ(output(), Shape{});
  EXPECT_EQ(offerInput(mat(1, 6)), kFrameInputShape);

  dxpSetErrorStatus(host.record(), nullptr);
  sizeInput({{6, 1, 1}});
  EXPECT_EQ(offerInput(mat(6, 1)), "Input must be 1-D or 2-D.");
}

// An offered record without sizes is never read through: it gets the dimension message.
TEST_F(InputDimensionInfo, OfferedRecordWithoutSizesIsRefused) {
  configure(frameBit(4, 8));
  host.removeDimensionOperations();
  sizeInput(mat(6, 1));
  const DxpDimsInfo withoutSizes[] = {{6, 2, nullptr, 0}, {6, 0, nullptr, 0}, {-1, -1, nullptr, 0}};
  for (const DxpDimsInfo& offered : withoutSizes) {
    dxpSetErrorStatus(host.record(), nullptr);
    mdlSetInputPortDimensionInfo(host.record(), 0, &offered);
    EXPECT_EQ(status(), "Input must be 1-D or 2-D.") << offered.numDims;
  }
  dxpSetErrorStatus(host.record(), nullptr);
  mdlSetInputPortDimensionInfo(host.record(), 0, nullptr);
  EXPECT_EQ(status(), "Input must be 1-D or 2-D.");
  EXPECT_EQ(output(), Shape{});
}

TEST_F(InputDimensionInfo, OutputLengthBeyondAWidthIsRefused) {
  configure({DXP_FRAME_YES, 2, 4, 1073741824});  // N = 2^30
  EXPECT_EQ(offerInput(mat(1, 1)), "");
  EXPECT_EQ(output(), mat(1073741824, 1));

  host.storeOutputDims(0, dxpDynamicDims);
  EXPECT_EQ(offerInput(mat(2, 1)), kWidthFailed);  // 2^31
  EXPECT_EQ(output(), Shape{});
}

// An offer whose rows are still dynamic derives exactly -1, which the setters pass on as a port
// still dynamic; any other negative length is an overflow of the derivation.
struct DynamicOffer {
  bool toInput;  // offered to the input port, else to the output port
  Shape offered;
  std::vector<int32_t> otherSizes;  // what the other port is offered in turn, width -1
};

void PrintTo(const DynamicOffer& offer, std::ostream* out) {
  *out << (offer.toInput ? "input " : "output ") << offer.offered;
}

class DynamicRows : public PortDimensions, public ::testing::WithParamInterface<DynamicOffer> {};

TEST_P(DynamicRows, SetTheOtherPortStillDynamic) {
  const DynamicOffer& offer = GetParam();
  configure({DXP_FRAME_YES, 2, 4, 1});  // integer input: k = 1, N = 1
  host.storeInputDims(0, dxpDynamicDims);
  host.storeOutputDims(0, dxpDynamicDims);
  EXPECT_EQ(offer.toInput ? offerInput(offer.offered) : offerOutput(offer.offered), "");
  const auto& records = offer.toInput ? host.offeredOutputDims() : host.offeredInputDims();
  const auto& sizes = offer.toInput ? host.offeredOutputSizes() : host.offeredInputSizes();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records.back().width, -1);
  EXPECT_EQ(sizes.back(), offer.otherSizes);
}

INSTANTIATE_TEST_SUITE_P(BothDirections, DynamicRows,
                         ::testing::Values(DynamicOffer{true, mat(-1, 1), {-1, 1}},
                                           DynamicOffer{true, vec(-1), {-1}},
                                           DynamicOffer{false, mat(-1, 1), {-1, 1}},
                                           DynamicOffer{false, vec(-1), {-1}}));

TEST_F(PortDimensions, NegativeLengthOtherThanDynamicIsRefused) {
  configure({DXP_FRAME_YES, 2, 4, 2});  // N = 2: rows -1 derive -2
  host.storeOutputDims(0, dxpDynamicDims);
  EXPECT_EQ(offerInput(mat(-1, 1)), kWidthFailed);
  EXPECT_EQ(host.offeredOutputDims().size(), 0u);
}

// Parameters are read afresh, so they may have changed into values validation refuses.
TEST_F(InputDimensionInfo, UnvalidatedParametersNeverDivideByZero) {
  configure(frameBit(1, 8));  // k = 0
  EXPECT_EQ(offerInput(mat(6, 1)), kWidthFailed);
  dxpSetErrorStatus(host.record(), nullptr);
  configure({DXP_FRAME_YES, 2, 4, 0});
  EXPECT_EQ(offerInput(mat(6, 1)), kWidthFailed);
  EXPECT_EQ(output(), Shape{});
}

TEST_F(OutputDimensionInfo, SettlesTheDynamicInput) {
  const struct {
    Setting setting;
    Shape offered;
    Shape input;
  } cases[] = {
      {frameBit(4, 8), mat(16, 1), mat(4, 1)},
      {frameBit(4, 8), vec(16), vec(4)},
      {sampleBit(8), mat(1, 1), vec(3)},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testing::Message() << testCase.offered << " gives " << testCase.input);
    configure(testCase.setting);
    host.storeInputDims(0, dxpDynamicDims);
    EXPECT_EQ(offerOutput(testCase.offered), "");
    EXPECT_EQ(output(), testCase.offered);
    EXPECT_EQ(input(), testCase.input);
  }
}

TEST_F(OutputDimensionInfo, RefusedOfferIsKeptAndLeavesTheInputDynamic) {
  const struct {
    Setting setting;
    Shape offered;
    const char* message;
  } cases[] = {
      {frameBit(4, 8), mat(12, 1), kFrameOutputLength},
      {frameBit(4, 8), {{16, 1, 1}}, "Outputs must be 1-D or 2-D."},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.message);
    dxpSetErrorStatus(host.record(), nullptr);
    configure(testCase.setting);
    EXPECT_EQ(offerOutput(testCase.offered), testCase.message);
    EXPECT_EQ(output(), testCase.offered);
    EXPECT_EQ(input(), Shape{});
  }
}

TEST_F(OutputDimensionInfo, ComparesWithAnInputAlreadySized) {
  configure(frameBit(4, 8));
  sizeInput(mat(4, 1));
  EXPECT_EQ(offerOutput(mat(16, 1)), "");
  EXPECT_EQ(offerOutput(mat(24, 1)), kWidthFailed);
  EXPECT_EQ(input(), mat(4, 1));

  dxpSetErrorStatus(host.record(), nullptr);
  configure(sampleBit(8));
  sizeInput(vec(2));
  EXPECT_EQ(offerOutput(vec(1)), kWidthFailed);
  // A 2-D sample-based output of bit input is not compared at all.
  for (const Shape& sized : {vec(7), mat(2, 5), vec(3)}) {
    dxpSetErrorStatus(host.record(), nullptr);
    sizeInput(sized);
    EXPECT_EQ(offerOutput(mat(1, 1)), "") << sized;
  }
}

TEST_F(OutputDimensionInfo, UnconnectedOrFailingHostLeavesTheInputDynamic) {
  configure(frameBit(4, 8));
  host.outputPort().connected = 0;
  EXPECT_EQ(offerOutput(mat(12, 3)), "");
  EXPECT_EQ(output(), mat(12, 3));
  EXPECT_EQ(input(), Shape{});

  host.outputPort().connected = 1;
  host.failDimensionOperations(true);
  EXPECT_EQ(offerOutput(mat(12, 3)), "");
  EXPECT_EQ(host.offeredInputDims().size(), 0u);
}

TEST_F(OutputDimensionInfo, OfferedRecordWithoutSizesIsRefused) {
  configure(frameBit(4, 8));
  host.removeDimensionOperations();
  sizeOutput(mat(16, 1));
  const DxpDimsInfo withoutSizes{16, 2, nullptr, 0};
  mdlSetOutputPortDimensionInfo(host.record(), 0, &withoutSizes);
  EXPECT_EQ(status(), "Outputs must be 1-D or 2-D.");
  EXPECT_EQ(input(), Shape{});
}

TEST_F(OutputDimensionInfo, InputLengthBeyondAWidthIsRefused) {
  configure(frameBit(1073741824, 1));  // k = 30
  EXPECT_EQ(offerOutput(mat(71582788, 1)), "");
  EXPECT_EQ(input(), mat(2147483640, 1));

  host.storeInputDims(0, dxpDynamicDims);
  EXPECT_EQ(offerOutput(mat(71582789, 1)), kWidthFailed);
  EXPECT_EQ(input(), Shape{});
}

TEST_F(DimensionSetters, BuildTheRecordsTheHostIsOffered) {
  EXPECT_EQ(setOutputPortVectorDims(host.record(), 0, 24), 1);
  EXPECT_EQ(output(), vec(24));
  EXPECT_EQ(host.offeredOutputDims().back().width, 24);
  EXPECT_EQ(host.offeredOutputDims().back().reserved, 0);

  EXPECT_EQ(setInputPortMatrixDims(host.record(), 0, 3, 4), 1);
  EXPECT_EQ(host.inputPort().width, 12);
  EXPECT_EQ(input(), mat(3, 4));

  EXPECT_EQ(setInputPortMatrixDims(host.record(), 0, -1, 4), 1);
  EXPECT_EQ(host.offeredInputDims().back().width, -1);
  EXPECT_EQ(host.offeredInputDims().back().numDims, 2);
  EXPECT_EQ(host.offeredInputSizes().back(), (std::vector<int32_t>{-1, 4}));
  EXPECT_EQ(host.offeredInputDims().back().reserved, 0);
}

// The vector record's single size is its own width word, followed by the dimension count.
TEST_F(DimensionSetters, VectorSizesPointAtTheWidthWord) {
  host.simInfo().setInputPortDimensionInfo = [](DxpBlockRecord*, int32_t port,
                                                const DxpDimsInfo* dims) -> int32_t {
    const bool selfReferring = dims->dims == &dims->width && dims->dims[1] == 1;
    return selfReferring && port == 3 ? 7 : 0;
  };
  EXPECT_EQ(setInputPortVectorDims(host.record(), 3, 5), 7);
}

TEST_F(DimensionSetters, ReturnTheHostResultOrOneWithoutAHost) {
  host.failDimensionOperations(true);
  EXPECT_EQ(setInputPortVectorDims(host.record(), 0, 3), 0);
  EXPECT_EQ(setOutputPortMatrixDims(host.record(), 0, 3, 1), 0);

  host.removeDimensionOperations();
  EXPECT_EQ(setInputPortVectorDims(host.record(), 0, 3), 1);
  EXPECT_EQ(setInputPortMatrixDims(host.record(), 0, 3, 1), 1);
  EXPECT_EQ(setOutputPortVectorDims(host.record(), 0, 3), 1);
  EXPECT_EQ(setOutputPortMatrixDims(host.record(), 0, 3, 1), 1);
}

TEST_F(DimensionSetters, MatrixBeyondAWidthIsNotOffered) {
  EXPECT_EQ(setOutputPortMatrixDims(host.record(), 0, 65536, 32768), 0);
  EXPECT_EQ(host.offeredOutputDims().size(), 0u);
}

}  // namespace
}  // namespace quenvarith
