#include "entry/local_record.h"

#include <memory>

#include "entry/texts.h"

namespace quenvarith::entry {

namespace {

constexpr int kFirstParameterArgument = 4;  // right-hand argument 5

// `count` value-initialised objects in zero-filled host memory, which the host owns and
// releases; the block never frees them.
template <typename T>
T* allocateZeroed(size_t count) {
  // T is a pointer type for the list of dialog parameters.
  auto* objects =
      static_cast<T*>(vqCalloc(count, sizeof(T)));  // NOLINT(bugprone-sizeof-expression)
  std::uninitialized_value_construct_n(objects, count);
  return objects;
}

}  // namespace

DxpBlockRecord* createLocalRecord(int nrhs, const VqArray* prhs[]) {
  const int32_t parameterCount =
      nrhs > kFirstParameterArgument ? nrhs - kFirstParameterArgument : 0;

  auto* record = allocateZeroed<DxpBlockRecord>(1);
  auto* simInfo = allocateZeroed<DxpSimInfo>(1);
  record->errorHolder = &record->localErrorHolder;
  record->simInfo = simInfo;
  simInfo->simMode = DXP_SIM_MODE_SIZES_ONLY;
  record->numParameters = parameterCount;
  record->blockName = kModuleName;
  record->blockPath = kModuleName;

  if (parameterCount > 0) {
    auto* parameters = allocateZeroed<const VqArray*>(static_cast<size_t>(parameterCount));
    for (int32_t i = 0; i < parameterCount; ++i) {
      parameters[i] = prhs[kFirstParameterArgument + i];
    }
    record->parameters = parameters;
  }

  record->setNumInputPorts = &localSetNumInputPorts;
  record->setNumInputPortsContext = record;
  record->setNumOutputPorts = &localSetNumOutputPorts;
  record->setNumOutputPortsContext = record;
  return record;
}

int32_t localSetNumInputPorts(void* context, int32_t count) {
  if (count < 0) {
    return 0;
  }
  auto* record = static_cast<DxpBlockRecord*>(context);
  record->sizes[DXP_WORD_NUM_INPUT_PORTS] = count;
  record->flagWord |= DXP_FLAG_PORT_COUNTS_SET;
  if (count > 0) {
    record->inputPorts = allocateZeroed<DxpInputPort>(static_cast<size_t>(count));
  }
  return 1;
}

int32_t localSetNumOutputPorts(void* context, int32_t count) {
  if (count < 0) {
    return 0;
  }
  auto* record = static_cast<DxpBlockRecord*>(context);
  record->sizes[DXP_WORD_NUM_OUTPUT_PORTS] = count;
  record->flagWord |= DXP_FLAG_PORT_COUNTS_SET;
  if (count > 0) {
    record->outputPorts = allocateZeroed<DxpOutputPort>(static_cast<size_t>(count));
  }
  return 1;
}

}  // namespace quenvarith::entry
