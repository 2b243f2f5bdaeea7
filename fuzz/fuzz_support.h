// What the harnesses share: a host block to run the block on, turning fuzz bytes into doubles,
// parameters and frame flags that matter to the block, host arrays of every kind, and a hard
// stop for a broken invariant.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "block/parameter_codes.h"
#include "host/block_record.h"
#include "host/host_block.h"
#include "host/vq.h"

namespace quenvarith::fuzz {

// A broken invariant is a finding: report it and abort so that libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

inline void require(bool condition, const char* what) {
  if (!condition) fail(what);
}

// Values where the block's checks and conversions change their answer: small whole numbers,
// powers of two, the edges of the 32-bit range, fractions, signed zeros, NaN and infinities,
// and, when the selector says so, any bit pattern at all.
inline double consumeDouble(FuzzedDataProvider& data) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  static constexpr std::array<double, 32> kInteresting = {
      0.0,           1.0,           2.0,          3.0,
      4.0,           5.0,           6.0,          8.0,
      16.0,          64.0,          1024.0,       -1.0,
      -0.0,          -4.0,          0.5,          2.5,
      1e-300,        0.001,         1e3,          1e9,
      1e300,         -1e300,        2147483647.0, 2147483648.0,
      -2147483648.0, -2147483649.0, 4294967296.0, 5200229.0,
      1.0000000001,  inf,           -inf,         std::numeric_limits<double>::quiet_NaN()};
  const auto selector = data.ConsumeIntegral<uint8_t>();
  if (selector < 200) return kInteresting[selector % kInteresting.size()];
  if (selector < 230) return static_cast<double>(data.ConsumeIntegralInRange<int32_t>(-70, 70));
  double value = 0.0;
  const auto bits = data.ConsumeIntegral<uint64_t>();
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A whole number in [low, high] most of the time, anything else otherwise: the block's
// validation must decide, but most runs should get past it.
inline double consumeMostlyWhole(FuzzedDataProvider& data, int32_t low, int32_t high) {
  if (data.ConsumeIntegralInRange<uint8_t>(0, 7) != 0) {
    return static_cast<double>(data.ConsumeIntegralInRange<int32_t>(low, high));
  }
  return consumeDouble(data);
}

// A host block whose allocation scope is the thread's current one while it lives: the start of
// every harness that runs the block.
class FuzzedHost {
 public:
  FuzzedHost() = default;
  FuzzedHost(const FuzzedHost&) = delete;
  FuzzedHost& operator=(const FuzzedHost&) = delete;
  FuzzedHost(FuzzedHost&&) = delete;
  FuzzedHost& operator=(FuzzedHost&&) = delete;
  ~FuzzedHost() = default;

  host::HostBlock& block() { return block_; }
  DxpBlockRecord* record() { return block_.record(); }

 private:
  host::HostBlock block_;
  host::ScopeActivation activation_{block_.allocationScope()};
};

// The input port's frame flag as propagation may leave it.
inline DxpFrameFlag consumeFrameFlag(FuzzedDataProvider& data) {
  static constexpr std::array<DxpFrameFlag, 3> kFlags = {DXP_FRAME_NO, DXP_FRAME_YES,
                                                         DXP_FRAME_INHERITED};
  return kFlags[data.ConsumeIntegralInRange<size_t>(0, kFlags.size() - 1)];
}

// True when the declared work vectors stay within what one execution may allocate; the block
// itself sets no such limit.
inline bool withinWorkBudget(const DxpBlockRecord* record) {
  constexpr double kMaxWorkBytes = 64.0 * 1024 * 1024;
  double bytes = 0;
  for (int32_t i = 0; i < record->numWorkVectors; ++i) {
    const DxpWorkVector& vector = record->workVectors[i];
    bytes += static_cast<double>(vector.width) * (vector.complexity != 0 ? 16.0 : 8.0);
  }
  return bytes <= kMaxWorkBytes;
}

enum class ArrayKind : uint8_t {
  Scalar,
  Empty,
  Matrix,
  Complex,
  Sparse,
  Single,
  Int32,
  Text,
};

// A host array of any kind the block's checks ask about.
inline host::ArrayHandle consumeArray(FuzzedDataProvider& data) {
  const auto kind = static_cast<ArrayKind>(data.ConsumeIntegralInRange<uint8_t>(0, 7));
  const auto rows = data.ConsumeIntegralInRange<size_t>(0, 3);
  const auto columns = data.ConsumeIntegralInRange<size_t>(0, 3);
  switch (kind) {
    case ArrayKind::Scalar:
      return host::ArrayHandle(vqCreateDoubleScalar(consumeDouble(data)));
    case ArrayKind::Empty:
      return host::ArrayHandle(vqCreateDoubleMatrix(rows, rows == 0 ? columns : 0, VQ_REAL));
    case ArrayKind::Matrix:
    case ArrayKind::Complex: {
      host::ArrayHandle array(
          vqCreateDoubleMatrix(rows, columns, kind == ArrayKind::Complex ? VQ_COMPLEX : VQ_REAL));
      double* real = vqGetPr(array.get());
      double* imag = vqGetPi(array.get());
      for (size_t i = 0; i < rows * columns; ++i) {
        real[i] = consumeDouble(data);
        if (imag != nullptr) imag[i] = consumeDouble(data);
      }
      return array;
    }
    case ArrayKind::Sparse:
      return host::ArrayHandle(vqCreateSparseScalar(rows, columns, consumeDouble(data)));
    case ArrayKind::Single:
    case ArrayKind::Int32: {
      host::ArrayHandle array(vqCreateNumericMatrix(
          rows, columns, kind == ArrayKind::Single ? VQ_CLASS_SINGLE : VQ_CLASS_INT32,
          data.ConsumeBool() ? VQ_COMPLEX : VQ_REAL));
      auto* bytes = static_cast<unsigned char*>(vqGetData(array.get()));
      for (size_t i = 0; bytes != nullptr && i < rows * columns * 4; ++i) {
        bytes[i] = data.ConsumeIntegral<uint8_t>();
      }
      return array;
    }
    case ArrayKind::Text:
      return host::ArrayHandle(vqCreateString(data.ConsumeRandomLengthString(8).c_str()));
  }
  return host::ArrayHandle(vqCreateDoubleScalar(0.0));
}

// One of the six dialog parameters: a 1 x 1 double most of the time (from `value`), any kind
// of array otherwise.
inline host::ArrayHandle consumeParameter(FuzzedDataProvider& data, double value) {
  if (data.ConsumeIntegralInRange<uint8_t>(0, 15) != 0) {
    return host::ArrayHandle(vqCreateDoubleScalar(value));
  }
  return consumeArray(data);
}

// Six dialog parameters biased toward values validation accepts.
inline std::vector<host::ArrayHandle> consumeParameters(FuzzedDataProvider& data) {
  std::vector<host::ArrayHandle> parameters;
  const int32_t exponent = data.ConsumeIntegralInRange<int32_t>(1, 12);
  const double mAry = data.ConsumeBool() ? static_cast<double>(int64_t{1} << exponent)
                                         : consumeMostlyWhole(data, 2, 40);
  parameters.push_back(consumeParameter(data, mAry));
  parameters.push_back(consumeParameter(
      data, consumeMostlyWhole(data, codeOf(InputType::Bit), codeOf(InputType::Integer))));
  parameters.push_back(
      consumeParameter(data, consumeMostlyWhole(data, codeOf(BitToSymbolMapping::Binary),
                                                codeOf(BitToSymbolMapping::Gray))));
  parameters.push_back(consumeParameter(data, data.ConsumeBool() ? consumeDouble(data) : 1.0));
  parameters.push_back(
      consumeParameter(data, consumeMostlyWhole(data, codeOf(PhaseContinuity::Continuous),
                                                codeOf(PhaseContinuity::Discontinuous))));
  parameters.push_back(consumeParameter(data, consumeMostlyWhole(data, 1, 64)));
  return parameters;
}

}  // namespace quenvarith::fuzz
