// Flag calls with any flag and any argument slots on a record prepared by a set-up call: first
// the propagation a host does through flag calls (dimension records of any shape, sample times
// and offsets of any value, port indices, call words), then, when the host would go on, a run
// driven by flag calls only. Flag calls never raise, every status they leave is a message of
// the block or of the dispatch, and the run keeps its indices and counter in range.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "block/parameters.h"
#include "block/symbol_mapping.h"
#include "block/work_vectors.h"
#include "engine/block_caller.h"
#include "entry/entry.h"
#include "fuzz/fuzz_support.h"
#include "host/dxp.h"

namespace quenvarith::fuzz {
namespace {

constexpr int kMaxCalls = 24;

// Messages that report a missing method or a flag the dispatch does not know: the record is
// as it was, and a host may go on.
bool isDispatchMessage(std::string_view message) {
  return message.starts_with("Unexpected call to ") ||
         message == "Invalid flag encountered in pellumar" || message.starts_with("To have ");
}

// The flag as a host would put it into right-hand argument 4: mostly one of the dispatch
// table's values, sometimes any double at all.
double consumeFlag(FuzzedDataProvider& data, bool running) {
  // Numbers just outside the dispatch table, which it must report as invalid.
  constexpr int32_t kBelowTable = DXP_FLAG_DECLARE_SAMPLE_TIMES - 1;
  constexpr int32_t kAboveTable = DXP_FLAG_SET_DEFAULT_PORT_COMPLEX_SIGNALS + 1;
  static constexpr std::array<int32_t, 16> kRunFlags = {DXP_FLAG_COMPUTE_OUTPUTS,
                                                        DXP_FLAG_COMPUTE_OUTPUTS,
                                                        DXP_FLAG_COMPUTE_OUTPUTS,
                                                        DXP_FLAG_COMPUTE_OUTPUTS,
                                                        DXP_FLAG_COMPUTE_OUTPUTS,
                                                        DXP_FLAG_INITIALIZE_CONDITIONS,
                                                        DXP_FLAG_IGNORED,
                                                        DXP_FLAG_CHECK_PARAMETERS,
                                                        DXP_FLAG_START,
                                                        DXP_FLAG_PROCESS_PARAMETERS,
                                                        DXP_FLAG_TIME_OF_NEXT_VAR_HIT,
                                                        DXP_FLAG_ZERO_CROSSINGS,
                                                        DXP_FLAG_SET_INPUT_PORT_WIDTH,
                                                        DXP_FLAG_SET_OUTPUT_PORT_WIDTH,
                                                        kBelowTable,
                                                        kAboveTable};
  if (running) {
    return kRunFlags[data.ConsumeIntegralInRange<size_t>(0, kRunFlags.size() - 1)];
  }
  if (data.ConsumeIntegralInRange<uint8_t>(0, 7) == 0) {
    return consumeDouble(data);
  }
  const auto flag = data.ConsumeIntegralInRange<int32_t>(kBelowTable - 1, kAboveTable + 1);
  // Outputs and initial conditions need the run's storage, which a host allocates only after
  // propagation: before that it never asks for them.
  return flag == DXP_FLAG_INITIALIZE_CONDITIONS || flag == DXP_FLAG_COMPUTE_OUTPUTS
             ? DXP_FLAG_DECLARE_SAMPLE_TIMES
             : flag;
}

struct Slots {
  std::vector<int32_t> sizes;
  DxpDimsInfo dims{};
};

// Fills the argument slots of the simulation info record and the call argument word.
void consumeSlots(FuzzedDataProvider& data, DxpBlockRecord* record, Slots& slots) {
  const int32_t numDims = data.ConsumeIntegralInRange<uint8_t>(0, 7) == 0
                              ? data.ConsumeIntegralInRange<int32_t>(-1, 4)
                              : data.ConsumeIntegralInRange<int32_t>(1, 2);
  slots.sizes.clear();
  int64_t width = numDims > 0 ? 1 : -1;
  for (int32_t i = 0; i < numDims; ++i) {
    slots.sizes.push_back(data.ConsumeIntegralInRange<int32_t>(-1, 48));
    width = slots.sizes.back() < 0 || width < 0 ? -1 : width * slots.sizes.back();
  }
  slots.dims = {static_cast<int32_t>(width), numDims,
                slots.sizes.empty() ? nullptr : slots.sizes.data(), 0};
  DxpSimInfo& info = *record->simInfo;
  info.argDimsInfo = &slots.dims;
  info.argCallWord = data.ConsumeIntegral<int32_t>();
  info.argSampleTime = data.ConsumeBool() ? consumeDouble(data) : 1.0;
  info.argOffset = data.ConsumeIntegralInRange<uint8_t>(0, 3) == 0 ? consumeDouble(data) : 0.0;
  const auto selector = data.ConsumeIntegralInRange<uint8_t>(0, 15);
  record->sizes[DXP_WORD_CALL_ARGUMENT] =
      selector == 0 ? data.ConsumeIntegral<int32_t>() : (selector == 1 ? -2 : 0);
}

class FlagCaller {
 public:
  explicit FlagCaller(DxpBlockRecord* record) : record_(record) {
    plhs_[1] = reinterpret_cast<VqArray*>(record);
  }

  // One flag call; returns the status it left, then clears it as a host does once it has
  // acted on it.
  // Replaying a finding with QUENVARITH_FUZZ_TRACE set prints every call and its slots.
  void trace(double flag) const {
    const DxpSimInfo& info = *record_->simInfo;
    (void)std::fprintf(stderr,
                       "flag %.17g  callArgument %d  callWord %d  time %.17g  offset %.17g  dims",
                       flag, record_->sizes[DXP_WORD_CALL_ARGUMENT], info.argCallWord,
                       info.argSampleTime, info.argOffset);
    if (info.argDimsInfo != nullptr) {
      (void)std::fprintf(stderr, " width %d numDims %d [", info.argDimsInfo->width,
                         info.argDimsInfo->numDims);
      for (int32_t i = 0; i < info.argDimsInfo->numDims; ++i) {
        (void)std::fprintf(stderr, " %d", info.argDimsInfo->dims[i]);
      }
      (void)std::fprintf(stderr, " ]");
    }
    const DxpInputPort& in = record_->inputPorts[0];
    const DxpOutputPort& out = record_->outputPorts[0];
    (void)std::fprintf(stderr, "  | before: in width %d nd %d frame %d, out width %d nd %d\n",
                       in.width, in.numDims, static_cast<int>(dxpInputFrameFlag(&in)), out.width,
                       out.numDims);
  }

  std::string call(double flag) {
    if (std::getenv("QUENVARITH_FUZZ_TRACE") != nullptr) {
      trace(flag);
    }
    flagArgument_.reset(vqCreateDoubleScalar(flag));
    std::array<const VqArray*, 4> prhs = {empty_.get(), empty_.get(), empty_.get(),
                                          flagArgument_.get()};
    char message[DXP_ERROR_MESSAGE_CAPACITY];
    const DxpCallStatus status =
        dxpCallEntry(&dxpFunction, -1, plhs_.data(), 4, prhs.data(), message);
    require(status == DXP_CALL_RETURNED, "a flag call never raises");
    const char* left = dxpGetErrorStatus(record_);
    std::string text = left != nullptr ? left : "";
    dxpSetErrorStatus(record_, nullptr);
    return text;
  }

 private:
  DxpBlockRecord* record_;
  std::array<VqArray*, 2> plhs_{};
  host::ArrayHandle empty_{vqCreateDoubleMatrix(0, 0, VQ_REAL)};
  host::ArrayHandle flagArgument_;
};

}  // namespace
}  // namespace quenvarith::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace quenvarith;
  FuzzedDataProvider data(bytes, size);
  fuzz::FuzzedHost fuzzedHost;
  host::HostBlock& block = fuzzedHost.block();
  DxpBlockRecord* record = fuzzedHost.record();
  block.setParameterArrays(fuzz::consumeParameters(data));

  // The set-up call on the host's record, as the engine makes it; a host stops at a failed one.
  engine::BlockCaller blockCaller(&dxpFunction, block, engine::Dispatch::Flags);
  const bool setUp = blockCaller.setUp();
  fuzz::require(!blockCaller.raised(), "a set-up call on a host record returns");
  if (!setUp || block.inputPortCount() != 1) {
    return 0;
  }
  const DxpFrameFlag frame = fuzz::consumeFrameFlag(data);
  block.setInputFrameFlag(frame);

  fuzz::FlagCaller caller(record);
  fuzz::Slots slots;
  bool propagationFailed = false;
  const int propagationCalls = data.ConsumeIntegralInRange<int>(0, fuzz::kMaxCalls);
  for (int i = 0; i < propagationCalls && data.remaining_bytes() > 0; ++i) {
    fuzz::consumeSlots(data, record, slots);
    const std::string status = caller.call(fuzz::consumeFlag(data, false));
    propagationFailed = propagationFailed || (!status.empty() && !fuzz::isDispatchMessage(status));
  }
  if (propagationFailed) {
    return 0;
  }

  // The run, as the engine starts it once propagation went through: sample times confirmed,
  // work widths declared, storage allocated, initial conditions.
  record->sizes[DXP_WORD_CALL_ARGUMENT] = 0;
  const bool declared = blockCaller.declareSampleTimes() && blockCaller.setWorkWidths();
  fuzz::require(!blockCaller.raised(), "a flag call never raises");
  if (!declared || !fuzz::withinWorkBudget(record)) {
    return 0;
  }
  std::string message;
  if (!block.allocateRunStorage(&message)) {
    return 0;
  }
  const bool initialized = blockCaller.initializeConditions();
  fuzz::require(!blockCaller.raised(), "a flag call never raises");
  if (!initialized) {
    return 0;
  }

  const int32_t mAry = parameterInteger(record, Parameter::MAryNumber);
  const int32_t samplesPerSymbol = parameterInteger(record, Parameter::SamplesPerSymbol);
  const SymbolLayout layout = deriveSymbolLayout(record);
  if (frame == DXP_FRAME_NO) {
    block.setSampleTimeTasks({1, 0}, 2);
  }
  const int runCalls = data.ConsumeIntegralInRange<int>(1, fuzz::kMaxCalls);
  for (int step = 0; step < runCalls && data.remaining_bytes() > 0; ++step) {
    for (double& value : block.inputSignal()) {
      value = data.ConsumeIntegralInRange<uint8_t>(0, 15) == 0
                  ? fuzz::consumeDouble(data)
                  : static_cast<double>(data.ConsumeIntegralInRange<int32_t>(0, 1));
    }
    const std::array<int32_t, 2> hits = {1, step % samplesPerSymbol == 0 ? 1 : 0};
    block.setHits(hits);
    const auto selector = data.ConsumeIntegralInRange<uint8_t>(0, 15);
    record->sizes[DXP_WORD_CALL_ARGUMENT] =
        selector == 0 ? data.ConsumeIntegral<int32_t>() : (selector == 1 ? -2 : 0);
    caller.call(fuzz::consumeFlag(data, true));
    for (const int32_t index :
         block.workVector<int32_t>(static_cast<int>(WorkVector::SymbolIndices))
             .first(static_cast<size_t>(layout.symbolsPerFrame))) {
      fuzz::require(index >= 0 && index < mAry, "a symbol index is a tone of the block");
    }
    if (frame == DXP_FRAME_NO) {
      const int32_t counter =
          block.workVector<int32_t>(static_cast<int>(WorkVector::SampleCounter))[0];
      fuzz::require(counter >= 0 && counter < samplesPerSymbol,
                    "the sample counter stays inside the buffer");
    }
  }
  return 0;
}
