#include "block_caller.h"

namespace quenvarith::engine {

namespace {

constexpr int kSetUpFlag = 0;
// A flag call: negative left-hand count, the record in left-hand slot 2, the flag in
// right-hand argument 4.
constexpr int kFlagCallLeftCount = -1;
constexpr int kRightCount = 4;
constexpr int kSizesRows = DXP_SIZES_WORD_COUNT;
constexpr uint32_t kPortsTakeDimensionInfo = DXP_FLAG_PORT_DIMENSION_INFO;

}  // namespace

BlockCaller::BlockCaller(DxpEntryPoint entry, host::HostBlock& block, Dispatch dispatch)
    : entry_(entry),
      record_(block.record()),
      dispatch_(dispatch),
      recordReference_(block.makeRecordReference()),
      flag_(vqCreateDoubleScalar(0.0)),
      unused_(vqCreateDoubleMatrix(0, 0, VQ_REAL)) {}

bool BlockCaller::checkStatus(DxpCallStatus status) {
  if (!error_.empty()) {
    return false;
  }
  if (status == DXP_CALL_RAISED) {
    raisedError_ = true;
    error_ = raised_.data();
    if (error_.empty()) {
      error_ = "the block raised an error without a message";
    }
    return false;
  }
  const char* reported = dxpGetErrorStatus(record_);
  if (reported != nullptr) {
    error_ = reported;
    if (error_.empty()) {
      error_ = "the block reported an error without a message";
    }
    return false;
  }
  return true;
}

bool BlockCaller::missingMethod(std::string_view name) {
  if (error_.empty()) {
    error_ = "the block installed no ";
    error_ += name;
    error_ += " method";
    hostError_ = true;
  }
  return false;
}

bool BlockCaller::flagCall(DxpFlag flag) {
  if (failed()) {
    return false;
  }
  vqGetPr(flag_.get())[0] = static_cast<double>(flag);
  // Left-hand slot 2 carries the record itself; the protocol defines it that way.
  std::array<VqArray*, 2> left{nullptr, reinterpret_cast<VqArray*>(record_)};
  std::array<const VqArray*, kRightCount> right{unused_.get(), recordReference_.get(),
                                                unused_.get(), flag_.get()};
  return checkStatus(dxpCallEntry(entry_, kFlagCallLeftCount, left.data(), kRightCount,
                                  right.data(), raised_.data()));
}

bool BlockCaller::setUp() {
  if (failed()) {
    return false;
  }
  vqGetPr(flag_.get())[0] = kSetUpFlag;
  std::array<VqArray*, 1> left{nullptr};
  std::array<const VqArray*, kRightCount> right{unused_.get(), recordReference_.get(),
                                                unused_.get(), flag_.get()};
  const DxpCallStatus status =
      dxpCallEntry(entry_, 1, left.data(), kRightCount, right.data(), raised_.data());
  const host::ArrayHandle sizes(left[0]);
  if (!checkStatus(status)) {
    return false;
  }
  if (sizes.get() == nullptr || vqGetM(sizes.get()) != static_cast<size_t>(kSizesRows) ||
      vqGetN(sizes.get()) != 1 || vqGetPr(sizes.get()) == nullptr) {
    error_ = "the block's set-up call returned no sizes vector";
    hostError_ = true;
    return false;
  }
  const double* words = vqGetPr(sizes.get());
  if (words[DXP_WORD_NUM_INPUT_PORTS] != 1.0 || words[DXP_WORD_NUM_OUTPUT_PORTS] != 1.0) {
    error_ = "the block did not declare one input and one output port";
    hostError_ = true;
    return false;
  }
  if (words[DXP_WORD_NUM_PARAMETERS_EXPECTED] != static_cast<double>(DXP_NUM_DIALOG_PARAMETERS)) {
    error_ = "the block expects a number of dialog parameters other than six";
    hostError_ = true;
    return false;
  }
  if ((record_->flagWord & kPortsTakeDimensionInfo) == 0u) {
    error_ = "the block's port methods do not take dimension information";
    hostError_ = true;
    return false;
  }
  return true;
}

template <typename Method, typename SetFlagArguments, typename... Arguments>
bool BlockCaller::callMethod(DxpFlag flag, Method method, std::string_view name,
                             SetFlagArguments setFlagArguments, Arguments... arguments) {
  if (failed()) {
    return false;
  }
  if (dispatch_ == Dispatch::Flags) {
    setFlagArguments();
    return flagCall(flag);
  }
  if (method == nullptr) {
    return missingMethod(name);
  }
  method(record_, arguments...);
  return checkStatus(DXP_CALL_RETURNED);
}

bool BlockCaller::setInputPortDimensionInfo(int32_t port, const DxpDimsInfo& dims) {
  return callMethod(
      DXP_FLAG_SET_INPUT_PORT_DIMENSION_INFO, record_->methods.inputPortWidthOrDims.dimensionInfo,
      "mdlSetInputPortDimensionInfo",
      [&] {
        record_->sizes[DXP_WORD_CALL_ARGUMENT] = port;
        record_->simInfo->argDimsInfo = &dims;
      },
      port, &dims);
}

bool BlockCaller::setInputPortSampleTime(int32_t port, double sampleTime, double offset) {
  return callMethod(
      DXP_FLAG_SET_INPUT_PORT_SAMPLE_TIME, record_->methods.inputPortSampleTime,
      "mdlSetInputPortSampleTime",
      [&] {
        record_->sizes[DXP_WORD_CALL_ARGUMENT] = port;
        record_->simInfo->argSampleTime = sampleTime;
        record_->simInfo->argOffset = offset;
      },
      port, sampleTime, offset);
}

bool BlockCaller::declareSampleTimes() {
  return callMethod(DXP_FLAG_DECLARE_SAMPLE_TIMES, record_->methods.sampleTimes,
                    "mdlDeclareSampleTimes", [] {});
}

bool BlockCaller::setWorkWidths() {
  return callMethod(DXP_FLAG_SET_WORK_WIDTHS, record_->methods.workWidths, "mdlSetWorkWidths",
                    [] {});
}

bool BlockCaller::initializeConditions() {
  return callMethod(DXP_FLAG_INITIALIZE_CONDITIONS, record_->methods.initialConditions,
                    "mdlInitializeConditions", [] {});
}

bool BlockCaller::computeOutputsByCall(int32_t taskId) {
  return callMethod(
      DXP_FLAG_COMPUTE_OUTPUTS, record_->methods.outputs, "mdlComputeOutputs",
      [&] { record_->sizes[DXP_WORD_CALL_ARGUMENT] = taskId; }, taskId);
}

bool BlockCaller::finish() {
  // Runs after a failed run too, so that the block can end it; an earlier error stands.
  DxpMethod method = record_->methods.endOfRun;
  if (method != nullptr) {
    method(record_);
  }
  return checkStatus(DXP_CALL_RETURNED);
}

}  // namespace quenvarith::engine
