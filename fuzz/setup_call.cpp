// The set-up call on the local-record path: any left-hand count a set-up call may carry, any
// right-hand count, and right-hand arguments of every kind. The call either raises one of its
// argument-check messages or returns a 38 x 1 sizes vector.
#include <array>
#include <bit>
#include <cstring>
#include <string_view>
#include <vector>

#include "entry/entry.h"
#include "fuzz/fuzz_support.h"
#include "host/dxp.h"

namespace quenvarith::fuzz {
namespace {

constexpr int kMaxRightHand = 12;
constexpr int kLeftHandSlots = 4;

// A right-hand argument 2 that carries the record reference's marker with a nonzero address
// would send the call to a host record that does not exist: only a host builds that argument.
// An address of 0 stays, since the call must treat it as no record at all.
void keepOffHostRecords(VqArray* argument) {
  if (vqGetClass(argument) != VQ_CLASS_DOUBLE || vqGetM(argument) != 2) {
    return;
  }
  double* data = vqGetPr(argument);
  if (data == nullptr || vqGetNumberOfElements(argument) < 2) {
    return;
  }
  if (std::bit_cast<uint64_t>(data[1]) == std::bit_cast<uint64_t>(dxpRecordReferenceMarker) &&
      data[0] != 0.0) {
    data[0] = 0.0;
  }
}

void checkRaisedMessage(const char* message) {
  const std::string_view text(message);
  require(!text.empty(), "a raised error carries a message");
  require(text.size() < 256, "a raised message fits the 256-byte buffer");
  static constexpr std::array<std::string_view, 5> kKnownStarts = {
      "DXP level2 plug-in \"quenvarith\" must be called with at least 4",
      "DXP level2 plug-in \"quenvarith\" called with too many left hand",
      "The 4th right hand argument, FLAG, passed to DXP level2 plug-in \"quenvarith\"",
      "Invalid flag passed to DXP level2 plug-in \"quenvarith\"", "Plug-in name mismatch."};
  bool known = false;
  for (const std::string_view start : kKnownStarts) {
    known = known || text.starts_with(start);
  }
  require(known, "a raised message is one of the set-up call's messages");
}

}  // namespace
}  // namespace quenvarith::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace quenvarith;
  FuzzedDataProvider data(bytes, size);
  VqAllocationScope* scope = vqCreateAllocationScope();
  {
    const host::ScopeActivation activation(scope);
    const int nlhs = data.ConsumeIntegralInRange<int>(0, 3);
    const int nrhs = data.ConsumeIntegralInRange<int>(0, fuzz::kMaxRightHand);
    std::vector<host::ArrayHandle> arguments;
    std::vector<const VqArray*> prhs;
    for (int i = 0; i < nrhs; ++i) {
      // The flag argument is mostly 0, so that most calls get past the argument checks.
      if (i == 3 && data.ConsumeIntegralInRange<uint8_t>(0, 3) != 0) {
        arguments.emplace_back(vqCreateDoubleScalar(0.0));
      } else {
        arguments.push_back(fuzz::consumeArray(data));
      }
      if (i == 1) {
        fuzz::keepOffHostRecords(arguments.back().get());
      }
      prhs.push_back(arguments.back().get());
    }
    std::array<VqArray*, fuzz::kLeftHandSlots> plhs{};
    char message[DXP_ERROR_MESSAGE_CAPACITY];
    const DxpCallStatus status =
        dxpCallEntry(&dxpFunction, nlhs, plhs.data(), nrhs, prhs.data(), message);
    if (status == DXP_CALL_RAISED) {
      fuzz::checkRaisedMessage(message);
      fuzz::require(plhs[0] == nullptr, "a raising set-up call returns no sizes vector");
    } else {
      fuzz::require(nrhs >= 4 && nlhs <= 1, "a set-up call with bad counts raises");
      fuzz::require(plhs[0] != nullptr, "a set-up call returns the sizes vector");
      fuzz::require(vqGetM(plhs[0]) == DXP_SIZES_WORD_COUNT && vqGetN(plhs[0]) == 1,
                    "the sizes vector is 38 x 1");
      fuzz::require(
          vqGetPr(plhs[0])[DXP_WORD_RECORD_VERSION] == static_cast<double>(DXP_RECORD_VERSION),
          "the sizes vector carries the record version");
    }
    for (VqArray* slot : plhs) {
      vqDestroyArray(slot);
    }
  }
  vqDestroyAllocationScope(scope);
  return 0;
}
