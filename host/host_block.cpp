#include "host_block.h"

#include <utility>

namespace quenvarith::host {

namespace {

// A host keeps at most this many dimensions of a port.
constexpr int32_t kMaxStoredDims = 32;

DxpInputPort freshInputPort() {
  DxpInputPort port{};
  port.width = -1;
  port.numDims = -1;
  port.connected = 1;
  port.sampleTime = -1.0;
  port.attributes = dxpEncodeFrameFlag(0u, DXP_INPUT_FRAME_SHIFT, DXP_FRAME_INHERITED);
  port.sampleTimeIndex = 0;
  return port;
}

DxpOutputPort freshOutputPort() {
  DxpOutputPort port{};
  port.width = -1;
  port.numDims = -1;
  port.connected = 1;
  port.sampleTime = -1.0;
  port.attributes = dxpEncodeFrameFlag(0u, DXP_OUTPUT_FRAME_SHIFT, DXP_FRAME_INHERITED);
  port.sampleTimeIndex = 1;
  return port;
}

// Copies an offered dimension record into host storage; false when no host would accept it.
bool copyDims(const DxpDimsInfo& offered, std::vector<int32_t>& storage, int32_t& width,
              int32_t& numDims, int32_t*& dims) {
  if (offered.numDims < -1 || offered.numDims > kMaxStoredDims) return false;
  if (offered.numDims > 0 && offered.dims == nullptr) return false;
  if (offered.numDims > 0) {
    storage.assign(offered.dims, offered.dims + offered.numDims);
  } else {
    storage.clear();
  }
  width = offered.width;
  numDims = offered.numDims;
  dims = storage.empty() ? nullptr : storage.data();
  return true;
}

std::vector<int32_t> sizesOf(const DxpDimsInfo& dims) {
  if (dims.dims == nullptr || dims.numDims <= 0 || dims.numDims > kMaxStoredDims) return {};
  return {dims.dims, dims.dims + dims.numDims};
}

size_t elementBytes(int32_t dataType) {
  return dataType == DXP_TYPE_INT32 ? sizeof(int32_t) : sizeof(double);
}

}  // namespace

HostBlock::HostBlock(std::string blockName)
    : blockName_(std::move(blockName)), scope_(vqCreateAllocationScope()) {
  record_.errorHolder = &errorHolder_;
  record_.blockName = blockName_.c_str();
  record_.blockPath = blockName_.c_str();
  record_.simInfo = &simInfo_;
  record_.extension = &extension_;
  record_.setNumInputPorts = &HostBlock::setNumInputPorts;
  record_.setNumInputPortsContext = this;
  record_.setNumOutputPorts = &HostBlock::setNumOutputPorts;
  record_.setNumOutputPortsContext = this;
  record_.setNumWorkVectors = &HostBlock::setNumWorkVectors;
  simInfo_.setInputPortDimensionInfo = &HostBlock::setInputPortDimensionInfo;
  simInfo_.setOutputPortDimensionInfo = &HostBlock::setOutputPortDimensionInfo;
  simInfo_.timeStepKind = DXP_MAJOR_TIME_STEP;
  setSampleTimeTasks({0, 0}, 1);
  const std::array<int32_t, 1> everyTaskHits{1};
  setHits(everyTaskHits);
}

HostBlock::~HostBlock() {
  vqDestroyAllocationScope(scope_);
}

HostBlock& HostBlock::owner(DxpBlockRecord* record) {
  return *static_cast<HostBlock*>(record->setNumInputPortsContext);
}

void HostBlock::setParameters(const ParameterValues& values) {
  std::vector<ArrayHandle> arrays;
  for (const double value :
       {values.mAryNumber, values.inputType, values.bitToSymbolMapping, values.frequencySeparation,
        values.phaseContinuity, values.samplesPerSymbol}) {
    arrays.emplace_back(vqCreateDoubleScalar(value));
  }
  setParameterArrays(std::move(arrays));
}

void HostBlock::setParameterArrays(std::vector<ArrayHandle> arrays) {
  parameterArrays_ = std::move(arrays);
  relinkParameters();
}

void HostBlock::setParameterArray(int index, ArrayHandle array) {
  parameterArrays_.at(static_cast<size_t>(index)) = std::move(array);
  relinkParameters();
}

void HostBlock::relinkParameters() {
  parameterList_.clear();
  for (const ArrayHandle& array : parameterArrays_) parameterList_.push_back(array.get());
  record_.numParameters = static_cast<int32_t>(parameterList_.size());
  record_.parameters = parameterList_.empty() ? nullptr : parameterList_.data();
}

void HostBlock::removeDimensionOperations() {
  simInfo_.setInputPortDimensionInfo = nullptr;
  simInfo_.setOutputPortDimensionInfo = nullptr;
}

void HostBlock::removeWorkVectorOperation() {
  record_.setNumWorkVectors = nullptr;
}

DxpInputPort& HostBlock::inputPort(int index) {
  return inputPorts_.at(static_cast<size_t>(index));
}
DxpOutputPort& HostBlock::outputPort(int index) {
  return outputPorts_.at(static_cast<size_t>(index));
}

void HostBlock::createPorts(int inputs, int outputs) {
  setNumInputPorts(this, inputs);
  setNumOutputPorts(this, outputs);
}

int32_t HostBlock::setNumInputPorts(void* context, int32_t count) {
  auto& host = *static_cast<HostBlock*>(context);
  if (host.failPortCounts_ || count < 0) return 0;
  host.inputPorts_.assign(static_cast<size_t>(count), freshInputPort());
  host.inputDims_.assign(static_cast<size_t>(count), {});
  host.record_.inputPorts = host.inputPorts_.empty() ? nullptr : host.inputPorts_.data();
  host.record_.sizes[DXP_WORD_NUM_INPUT_PORTS] = count;
  return 1;
}

int32_t HostBlock::setNumOutputPorts(void* context, int32_t count) {
  auto& host = *static_cast<HostBlock*>(context);
  if (host.failPortCounts_ || count < 0) return 0;
  host.outputPorts_.assign(static_cast<size_t>(count), freshOutputPort());
  host.outputDims_.assign(static_cast<size_t>(count), {});
  host.record_.outputPorts = host.outputPorts_.empty() ? nullptr : host.outputPorts_.data();
  host.record_.sizes[DXP_WORD_NUM_OUTPUT_PORTS] = count;
  return 1;
}

int32_t HostBlock::setNumWorkVectors(DxpBlockRecord* record, int32_t count) {
  HostBlock& host = owner(record);
  if (host.failWorkVectorOperation_ || count < -1 || count > DXP_MAX_WORK_VECTORS) return 0;
  record->numWorkVectors = count;
  return 1;
}

bool HostBlock::storeInputDims(int port, const DxpDimsInfo& dims) {
  if (port < 0 || port >= inputPortCount()) return false;
  DxpInputPort& target = inputPorts_[static_cast<size_t>(port)];
  return copyDims(dims, inputDims_[static_cast<size_t>(port)], target.width, target.numDims,
                  target.dims);
}

bool HostBlock::storeOutputDims(int port, const DxpDimsInfo& dims) {
  if (port < 0 || port >= outputPortCount()) return false;
  DxpOutputPort& target = outputPorts_[static_cast<size_t>(port)];
  return copyDims(dims, outputDims_[static_cast<size_t>(port)], target.width, target.numDims,
                  target.dims);
}

int32_t HostBlock::setInputPortDimensionInfo(DxpBlockRecord* record, int32_t port,
                                             const DxpDimsInfo* dims) {
  HostBlock& host = owner(record);
  if (dims == nullptr) return 0;
  host.offeredInputDims_.push_back(*dims);
  host.offeredInputSizes_.push_back(sizesOf(*dims));
  if (host.failDimensionOperations_) return 0;
  return host.storeInputDims(port, *dims) ? 1 : 0;
}

int32_t HostBlock::setOutputPortDimensionInfo(DxpBlockRecord* record, int32_t port,
                                              const DxpDimsInfo* dims) {
  HostBlock& host = owner(record);
  if (dims == nullptr) return 0;
  host.offeredOutputDims_.push_back(*dims);
  host.offeredOutputSizes_.push_back(sizesOf(*dims));
  if (host.failDimensionOperations_) return 0;
  return host.storeOutputDims(port, *dims) ? 1 : 0;
}

void HostBlock::setInputFrameFlag(DxpFrameFlag flag) {
  DxpInputPort& port = inputPort(0);
  port.attributes = dxpEncodeFrameFlag(port.attributes, DXP_INPUT_FRAME_SHIFT, flag);
}

bool HostBlock::allocateRunStorage(std::string* message) {
  const auto fail = [message](const char* text) {
    if (message != nullptr) *message = text;
    return false;
  };
  const int32_t count = record_.numWorkVectors < 0 ? 0 : record_.numWorkVectors;
  workStorage_.assign(static_cast<size_t>(count), {});
  for (int32_t i = 0; i < count; ++i) {
    DxpWorkVector& vector = record_.workVectors[i];
    if (vector.width < 0) return fail("a work vector was declared with a negative width");
    if (vector.dataType != DXP_TYPE_DOUBLE && vector.dataType != DXP_TYPE_INT32) {
      return fail("a work vector was declared with an unknown data type");
    }
    const size_t elements = static_cast<size_t>(vector.width) * (vector.complexity != 0 ? 2u : 1u);
    const size_t bytes = elements * elementBytes(vector.dataType);
    // At least one element, so that every work vector has a usable address.
    workStorage_[static_cast<size_t>(i)].assign(bytes == 0 ? 1 : bytes, 0);
    vector.data = workStorage_[static_cast<size_t>(i)].data();
  }
  if (!inputPorts_.empty()) {
    const int32_t width = inputPorts_[0].width;
    if (width < 0) return fail("the input port width is not settled");
    inputSignal_.assign(static_cast<size_t>(width), 0.0);
    inputPorts_[0].signal = inputSignal_.data();
  }
  if (!outputPorts_.empty()) {
    const int32_t width = outputPorts_[0].width;
    if (width < 0) return fail("the output port width is not settled");
    const size_t doubles = static_cast<size_t>(width) * (outputPorts_[0].complexity != 0 ? 2u : 1u);
    outputSignal_.assign(doubles, 0.0);
    outputPorts_[0].signal = outputSignal_.data();
  }
  return true;
}

void HostBlock::setSampleTimeTasks(std::array<int32_t, 2> taskOfIndex, int taskCount) {
  taskIds_ = taskOfIndex;
  record_.sampleTimeTaskIds = taskIds_.data();
  sampleHits_.assign(static_cast<size_t>(taskCount), 0);
  simInfo_.sampleHits = sampleHits_.data();
}

void HostBlock::setHits(std::span<const int32_t> hitsPerTask) {
  for (size_t task = 0; task < sampleHits_.size() && task < hitsPerTask.size(); ++task) {
    sampleHits_[task] = hitsPerTask[task];
  }
}

ArrayHandle HostBlock::makeRecordReference() {
  ArrayHandle reference(vqCreateDoubleMatrix(2, 1, VQ_REAL));
  double* data = vqGetPr(reference.get());
  data[0] = static_cast<double>(reinterpret_cast<uintptr_t>(&record_));
  data[1] = dxpRecordReferenceMarker;
  return reference;
}

}  // namespace quenvarith::host
