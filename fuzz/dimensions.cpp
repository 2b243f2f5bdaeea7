// The two dimension methods with accepted parameters and any sequence of offered dimension
// records: any number of dimensions, sizes of any sign and size, either port connected or not,
// the other port dynamic or already sized, any input frame flag, with and without the host's
// dimension operations. Every record the block hands the host must be one a host can take.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "block/dimensions.h"
#include "block/setup.h"
#include "fuzz/fuzz_support.h"

namespace quenvarith::fuzz {
namespace {

int32_t consumeSize(FuzzedDataProvider& data) {
  static constexpr std::array<int32_t, 12> kSizes = {-1, 0, 1,  2,          3,          4,
                                                     6,  8, 24, 1073741824, 2147483647, 65536};
  if (data.ConsumeBool()) {
    return kSizes[data.ConsumeIntegralInRange<size_t>(0, kSizes.size() - 1)];
  }
  return data.ConsumeIntegralInRange<int32_t>(-1, 40);
}

// An offered record and the storage of its sizes, exactly numDims of them (so that reading a
// size the record does not have is caught). Its width is the product of its sizes, as a host
// keeps it, or -1 when a size is dynamic or the product leaves the 32-bit range.
struct OfferedDims {
  std::vector<int32_t> sizes;
  DxpDimsInfo info{};
};

void consumeOffer(FuzzedDataProvider& data, OfferedDims& offer) {
  const int32_t numDims = data.ConsumeIntegralInRange<uint8_t>(0, 7) == 0
                              ? data.ConsumeIntegralInRange<int32_t>(-1, 4)
                              : data.ConsumeIntegralInRange<int32_t>(1, 2);
  offer.sizes.clear();
  int64_t width = 1;
  for (int32_t i = 0; i < numDims; ++i) {
    offer.sizes.push_back(consumeSize(data));
    width = offer.sizes.back() < 0 ? -1 : (width < 0 ? -1 : width * offer.sizes.back());
    if (width > std::numeric_limits<int32_t>::max()) {
      width = -1;
    }
  }
  offer.info.width = numDims <= 0 ? -1 : static_cast<int32_t>(width);
  offer.info.numDims = numDims;
  offer.info.dims = offer.sizes.empty() ? nullptr : offer.sizes.data();
  offer.info.reserved = 0;
}

// A record the block built for the host: a known number of dimensions and, where its sizes
// are settled, a width that is their product, never an overflowed one.
void checkHandedRecord(const DxpDimsInfo& info, const std::vector<int32_t>& sizes) {
  if (info.numDims != 1 && info.numDims != 2) {
    return;  // the default dynamic record
  }
  require(static_cast<int32_t>(sizes.size()) == info.numDims, "sizes match the dimension count");
  int64_t product = 1;
  for (const int32_t value : sizes) {
    if (value < 0) {
      return;  // derived from a dynamic offer
    }
    product *= value;
  }
  require(product == info.width, "the handed width is the product of the sizes");
}

}  // namespace
}  // namespace quenvarith::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace quenvarith;
  FuzzedDataProvider data(bytes, size);
  fuzz::FuzzedHost fuzzedHost;
  host::HostBlock& block = fuzzedHost.block();
  DxpBlockRecord* record = fuzzedHost.record();
  block.setParameterArrays(fuzz::consumeParameters(data));
  mdlDeclareSizes(record);
  if (dxpGetErrorStatus(record) != nullptr || block.inputPortCount() != 1) {
    return 0;
  }

  block.setInputFrameFlag(fuzz::consumeFrameFlag(data));
  block.inputPort().connected = data.ConsumeIntegralInRange<uint8_t>(0, 7) != 0 ? 1 : 0;
  block.outputPort().connected = data.ConsumeIntegralInRange<uint8_t>(0, 7) != 0 ? 1 : 0;
  const bool hostOperations = data.ConsumeIntegralInRange<uint8_t>(0, 7) != 0;
  if (!hostOperations) {
    block.removeDimensionOperations();
  }

  fuzz::OfferedDims offer;
  std::vector<const int32_t*> ownSizes;  // the host's own offers, told apart by their storage
  const int calls = data.ConsumeIntegralInRange<int>(1, 6);
  for (int call = 0; call < calls && data.remaining_bytes() > 0; ++call) {
    fuzz::consumeOffer(data, offer);
    ownSizes.push_back(offer.info.dims);
    const bool toInput = data.ConsumeBool();
    const int32_t port =
        data.ConsumeIntegralInRange<uint8_t>(0, 15) == 0 ? data.ConsumeIntegral<int32_t>() : 0;
    if (!hostOperations) {
      // Without the operation the block reads the port as the host left it: store the offer
      // there first, as a host that propagates by itself would have.
      if (toInput ? !block.storeInputDims(0, offer.info) : !block.storeOutputDims(0, offer.info)) {
        continue;
      }
    }
    if (toInput) {
      mdlSetInputPortDimensionInfo(record, port, &offer.info);
    } else {
      mdlSetOutputPortDimensionInfo(record, port, &offer.info);
    }
    // A host goes on propagating after a rejection only in the sense that it reports it; keep
    // exploring from the record as it stands.
    dxpSetErrorStatus(record, nullptr);
  }

  // Every record the block built and handed to the host.
  const auto builtByBlock = [&ownSizes](const DxpDimsInfo& info) {
    return std::find(ownSizes.begin(), ownSizes.end(), info.dims) == ownSizes.end();
  };
  for (size_t i = 0; i < block.offeredInputDims().size(); ++i) {
    const DxpDimsInfo& info = block.offeredInputDims()[i];
    if (builtByBlock(info)) {
      fuzz::checkHandedRecord(info, block.offeredInputSizes()[i]);
    }
  }
  for (size_t i = 0; i < block.offeredOutputDims().size(); ++i) {
    const DxpDimsInfo& info = block.offeredOutputDims()[i];
    if (builtByBlock(info)) {
      fuzz::checkHandedRecord(info, block.offeredOutputSizes()[i]);
    }
  }
  return 0;
}
