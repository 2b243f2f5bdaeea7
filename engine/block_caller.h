// Calls a loaded block's methods the two ways a host can: through the method table the block
// installed in its record, or through flag calls of its entry point. Both check the record's
// error status after every call and keep the first message.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/block_record.h"
#include "host/dxp.h"
#include "host/host_block.h"

namespace quenvarith::engine {

enum class Dispatch { Table, Flags };

class BlockCaller {
 public:
  BlockCaller(DxpEntryPoint entry, host::HostBlock& block, Dispatch dispatch);
  BlockCaller(const BlockCaller&) = delete;
  BlockCaller& operator=(const BlockCaller&) = delete;
  BlockCaller(BlockCaller&&) = delete;
  BlockCaller& operator=(BlockCaller&&) = delete;
  ~BlockCaller() = default;

  // Each returns true while no error has been reported; once one has, `error()` holds it.
  bool setUp();
  bool setInputPortDimensionInfo(int32_t port, const DxpDimsInfo& dims);
  bool setInputPortSampleTime(int32_t port, double sampleTime, double offset);
  bool declareSampleTimes();
  bool setWorkWidths();
  bool initializeConditions();
  // Inline where the method is called directly: a run makes this call at every step.
  bool computeOutputs(int32_t taskId) {
    const DxpOutputsMethod method = record_->methods.outputs;
    if (dispatch_ == Dispatch::Table && method != nullptr && !failed()) [[likely]] {
      method(record_, taskId);
      if (dxpGetErrorStatus(record_) == nullptr) [[likely]] {
        return true;
      }
      return checkStatus(DXP_CALL_RETURNED);
    }
    return computeOutputsByCall(taskId);
  }
  // The protocol has no flag for the end of a run: both modes call the end-of-run slot.
  bool finish();

  [[nodiscard]] bool failed() const { return !error_.empty(); }
  [[nodiscard]] const std::string& error() const { return error_; }
  // True when the error was the host's own finding rather than the block's report.
  [[nodiscard]] bool hostError() const { return hostError_; }
  // True when the error was raised through the entry point rather than left in the record.
  [[nodiscard]] bool raised() const { return raisedError_; }

 private:
  // One method call either way: through the flag call (after `setFlagArguments` has put the
  // arguments where the flag call passes them) or through the installed `method`, which may be
  // missing; then the record's status.
  template <typename Method, typename SetFlagArguments, typename... Arguments>
  bool callMethod(DxpFlag flag, Method method, std::string_view name,
                  SetFlagArguments setFlagArguments, Arguments... arguments);
  bool flagCall(DxpFlag flag);
  bool checkStatus(DxpCallStatus status);
  // computeOutputs through the flag call, or with the method missing.
  bool computeOutputsByCall(int32_t taskId);
  bool missingMethod(std::string_view name);

  DxpEntryPoint entry_;
  DxpBlockRecord* record_;
  Dispatch dispatch_;
  host::ArrayHandle recordReference_;
  host::ArrayHandle flag_;
  host::ArrayHandle unused_;
  std::array<char, DXP_ERROR_MESSAGE_CAPACITY> raised_{};
  std::string error_;
  bool hostError_ = false;
  bool raisedError_ = false;
};

}  // namespace quenvarith::engine
