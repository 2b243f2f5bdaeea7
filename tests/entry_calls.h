// Shared by the entry's tests: building the arguments of dxpFunction the way a host does, and
// calling an entry point through the host's guarded call.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "host/block_record.h"
#include "host/dxp.h"
#include "host/host_block.h"
#include "host/vq.h"

namespace quenvarith::entry_test {

using host::ArrayHandle;

inline ArrayHandle scalar(double value) {
  return ArrayHandle(vqCreateDoubleScalar(value));
}
inline ArrayHandle emptyArray() {
  return ArrayHandle(vqCreateDoubleMatrix(0, 0, VQ_REAL));
}
// A double matrix holding `values` column by column.
inline ArrayHandle matrix(size_t rows, size_t columns, std::initializer_list<double> values) {
  ArrayHandle array(vqCreateDoubleMatrix(rows, columns, VQ_REAL));
  double* data = vqGetPr(array.get());
  size_t i = 0;
  for (const double value : values) {
    data[i++] = value;
  }
  return array;
}

// Right-hand arguments: 1 and 3 are never read, 2 carries the record reference (or anything
// else), 4 the flag, 5 onward the dialog parameters of a local record.
class RightHandArguments {
 public:
  RightHandArguments(ArrayHandle recordArgument, ArrayHandle flag,
                     std::vector<ArrayHandle> parameters = {}) {
    owned_.push_back(emptyArray());
    owned_.push_back(std::move(recordArgument));
    owned_.push_back(emptyArray());
    owned_.push_back(std::move(flag));
    for (ArrayHandle& parameter : parameters) {
      owned_.push_back(std::move(parameter));
    }
    for (const ArrayHandle& array : owned_) {
      pointers_.push_back(array.get());
    }
  }
  // Only the first `count` arguments (fewer than the four a set-up call needs).
  void truncate(size_t count) { pointers_.resize(count); }

  int count() const { return static_cast<int>(pointers_.size()); }
  const VqArray** data() { return pointers_.empty() ? nullptr : pointers_.data(); }
  const VqArray* at(size_t index) const { return pointers_.at(index); }

 private:
  std::vector<ArrayHandle> owned_;
  std::vector<const VqArray*> pointers_;
};

// Six valid dialog parameters as arguments 5 to 10.
inline std::vector<ArrayHandle> validParameters() {
  std::vector<ArrayHandle> parameters;
  for (const double value : {4.0, 1.0, 1.0, 1.0, 1.0, 8.0}) {
    parameters.push_back(scalar(value));
  }
  return parameters;
}

struct SetupResult {
  DxpCallStatus status = DXP_CALL_RETURNED;
  std::string message;
  ArrayHandle sizes;

  // The sizes vector's entries (empty when there is none).
  std::vector<double> entries() const {
    if (sizes.get() == nullptr) {
      return {};
    }
    const double* data = vqGetPr(sizes.get());
    return {data, data + vqGetM(sizes.get()) * vqGetN(sizes.get())};
  }
};

// A set-up call with left-hand count `nlhs`; slot 1 is always provided.
inline SetupResult callSetup(DxpEntryPoint entry, int nlhs, RightHandArguments& arguments) {
  std::array<VqArray*, 2> plhs{};
  char message[DXP_ERROR_MESSAGE_CAPACITY];
  SetupResult result;
  result.status =
      dxpCallEntry(entry, nlhs, plhs.data(), arguments.count(), arguments.data(), message);
  result.message = message;
  result.sizes.reset(plhs[0]);
  return result;
}

// A flag call: the record itself in left-hand slot 2, the flag in right-hand argument 4.
inline DxpCallStatus callFlag(DxpEntryPoint entry, DxpBlockRecord* record,
                              const VqArray* flagArgument) {
  std::array<VqArray*, 2> plhs{nullptr, reinterpret_cast<VqArray*>(record)};
  ArrayHandle unread = emptyArray();
  std::array<const VqArray*, 4> prhs{unread.get(), unread.get(), unread.get(), flagArgument};
  return dxpCallEntry(entry, -1, plhs.data(), static_cast<int>(prhs.size()), prhs.data(), nullptr);
}

// Every test runs in an allocation scope of its own, which takes back what the block allocated.
class ScopedTest : public ::testing::Test {
 protected:
  VqAllocationScope* scope() const { return scope_.get(); }

 private:
  struct ScopeDeleter {
    void operator()(VqAllocationScope* scope) const { vqDestroyAllocationScope(scope); }
  };
  std::unique_ptr<VqAllocationScope, ScopeDeleter> scope_{vqCreateAllocationScope()};
  host::ScopeActivation activation_{scope_.get()};
};

}  // namespace quenvarith::entry_test
