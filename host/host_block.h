// The host's side of one block: a block record built, filled and owned the way a host does it,
// with the host operations the record offers (port counts, port dimensions, work-vector count)
// and the storage behind them. Tests and the engine drive the block through it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "block_record.h"
#include "cache_line_allocator.h"
#include "dxp.h"
#include "vq.h"

namespace quenvarith::host {

// Owns a host array; releases it with vqDestroyArray.
class ArrayHandle {
 public:
  ArrayHandle() = default;
  explicit ArrayHandle(VqArray* array) : array_(array) {}
  ArrayHandle(const ArrayHandle&) = delete;
  ArrayHandle& operator=(const ArrayHandle&) = delete;
  ArrayHandle(ArrayHandle&& other) noexcept : array_(other.release()) {}
  ArrayHandle& operator=(ArrayHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~ArrayHandle() { vqDestroyArray(array_); }

  [[nodiscard]] VqArray* get() const { return array_; }
  VqArray* release() {
    VqArray* array = array_;
    array_ = nullptr;
    return array;
  }
  void reset(VqArray* array = nullptr) {
    vqDestroyArray(array_);
    array_ = array;
  }

 private:
  VqArray* array_ = nullptr;
};

// Makes `scope` the thread's current allocation scope for the lifetime of this object.
class ScopeActivation {
 public:
  explicit ScopeActivation(VqAllocationScope* scope)
      : previous_(vqSetCurrentAllocationScope(scope)) {}
  ScopeActivation(const ScopeActivation&) = delete;
  ScopeActivation& operator=(const ScopeActivation&) = delete;
  ~ScopeActivation() { vqSetCurrentAllocationScope(previous_); }

 private:
  VqAllocationScope* previous_;
};

// The block's six dialog parameters, by index.
struct ParameterValues {
  double mAryNumber = 4;
  double inputType = 1;
  double bitToSymbolMapping = 1;
  double frequencySeparation = 1;
  double phaseContinuity = 1;
  double samplesPerSymbol = 8;
};

class HostBlock {
 public:
  explicit HostBlock(std::string blockName = "quenvarith");
  HostBlock(const HostBlock&) = delete;
  HostBlock& operator=(const HostBlock&) = delete;
  HostBlock(HostBlock&&) = delete;
  HostBlock& operator=(HostBlock&&) = delete;
  ~HostBlock();

  DxpBlockRecord* record() { return &record_; }
  DxpSimInfo& simInfo() { return simInfo_; }
  DxpExtension& extension() { return extension_; }
  VqAllocationScope* allocationScope() const { return scope_; }

  // Dialog parameters as 1 x 1 real doubles.
  void setParameters(const ParameterValues& values);
  // Any arrays, owned by the host from now on (a parameter count other than six included).
  void setParameterArrays(std::vector<ArrayHandle> arrays);
  // Replaces one parameter's array, keeping the others.
  void setParameterArray(int index, ArrayHandle array);

  // Host operations the record offers; tests remove them to drive the absent-operation paths.
  void removeDimensionOperations();
  void removeWorkVectorOperation();
  // Makes the next calls of an operation fail (return 0).
  void failPortCounts(bool fail) { failPortCounts_ = fail; }
  void failDimensionOperations(bool fail) { failDimensionOperations_ = fail; }
  void failWorkVectorOperation(bool fail) { failWorkVectorOperation_ = fail; }
  // Records the dimension records the block hands to the host.
  const std::vector<DxpDimsInfo>& offeredInputDims() const { return offeredInputDims_; }
  const std::vector<std::vector<int32_t>>& offeredInputSizes() const { return offeredInputSizes_; }
  const std::vector<DxpDimsInfo>& offeredOutputDims() const { return offeredOutputDims_; }
  const std::vector<std::vector<int32_t>>& offeredOutputSizes() const {
    return offeredOutputSizes_;
  }

  // Ports, once the block has set their counts (ports start connected, dynamic, inherited).
  DxpInputPort& inputPort(int index = 0);
  DxpOutputPort& outputPort(int index = 0);
  int inputPortCount() const { return static_cast<int>(inputPorts_.size()); }
  int outputPortCount() const { return static_cast<int>(outputPorts_.size()); }
  // Ports without a set-up call, for tests that fill a record by hand.
  void createPorts(int inputs, int outputs);

  // Stores a dimension record in a port as the host's dimension operations do.
  bool storeInputDims(int port, const DxpDimsInfo& dims);
  bool storeOutputDims(int port, const DxpDimsInfo& dims);
  void setInputFrameFlag(DxpFrameFlag flag);

  // Zero-filled work vectors from the declared widths, types and complexity, and the signal
  // buffers of the ports from their widths. Returns false, with a message, on a declaration a
  // host cannot allocate (a negative width, an unknown type).
  bool allocateRunStorage(std::string* message);
  std::span<double> inputSignal() { return inputSignal_; }
  std::span<const double> outputSignal() const { return outputSignal_; }
  // Points the output port at `samples`, room for as many doubles as the port's own buffer, for
  // the steps that follow: a driver gathering the steps of a frame-based run into one buffer,
  // where the block writes the whole port at every step, then copies nothing.
  // outputToPortBuffer() points the port back at its own buffer.
  void outputTo(double* samples) {
    if (!outputPorts_.empty()) {
      outputPorts_[0].signal = samples;
    }
  }
  void outputToPortBuffer() { outputTo(outputSignal_.data()); }
  // Points the input port at `values`, as many doubles as the port's own buffer holds, for the
  // steps that follow: a driver whose input already holds a whole step then copies nothing.
  // inputFromPortBuffer() points the port back at its own buffer.
  void inputFrom(const double* values) {
    if (!inputPorts_.empty()) {
      inputPorts_[0].signal = values;
    }
  }
  void inputFromPortBuffer() { inputFrom(inputSignal_.data()); }

  // Sample-time indices and hits: the input port uses index 0 and the output port index 1;
  // `taskOfIndex` maps an index to its task.
  void setSampleTimeTasks(std::array<int32_t, 2> taskOfIndex, int taskCount);
  void setHits(std::span<const int32_t> hitsPerTask);
  // One task's hit, inline: a sample-based run changes the input's at two steps of every symbol.
  void setHit(size_t task, int32_t hit) {
    if (task < sampleHits_.size()) {
      sampleHits_[task] = hit;
    }
  }
  void setTimeStepKind(int32_t kind) { simInfo_.timeStepKind = kind; }

  // The record reference a set-up call carries in right-hand argument 2.
  ArrayHandle makeRecordReference();

  // Work vector i's data as the given element type.
  template <typename T>
  std::span<T> workVector(int index) {
    const DxpWorkVector& vector = record_.workVectors[index];
    const size_t count = static_cast<size_t>(vector.width) * (vector.complexity != 0 ? 2u : 1u);
    return {static_cast<T*>(vector.data), vector.data != nullptr ? count : 0u};
  }

 private:
  static int32_t setNumInputPorts(void* context, int32_t count);
  static int32_t setNumOutputPorts(void* context, int32_t count);
  static int32_t setNumWorkVectors(DxpBlockRecord* record, int32_t count);
  static int32_t setInputPortDimensionInfo(DxpBlockRecord* record, int32_t port,
                                           const DxpDimsInfo* dims);
  static int32_t setOutputPortDimensionInfo(DxpBlockRecord* record, int32_t port,
                                            const DxpDimsInfo* dims);
  static HostBlock& owner(DxpBlockRecord* record);
  void relinkParameters();

  DxpBlockRecord record_{};
  DxpSimInfo simInfo_{};
  DxpExtension extension_{};
  DxpErrorHolder errorHolder_{};
  std::string blockName_;
  VqAllocationScope* scope_;

  std::vector<ArrayHandle> parameterArrays_;
  std::vector<const VqArray*> parameterList_;

  std::vector<DxpInputPort> inputPorts_;
  std::vector<DxpOutputPort> outputPorts_;
  std::vector<std::vector<int32_t>> inputDims_;
  std::vector<std::vector<int32_t>> outputDims_;

  std::vector<DxpDimsInfo> offeredInputDims_;
  std::vector<std::vector<int32_t>> offeredInputSizes_;
  std::vector<DxpDimsInfo> offeredOutputDims_;
  std::vector<std::vector<int32_t>> offeredOutputSizes_;

  bool failPortCounts_ = false;
  bool failDimensionOperations_ = false;
  bool failWorkVectorOperation_ = false;

  // Each buffer starts on a cache line.
  std::vector<std::vector<unsigned char, CacheLineAllocator<unsigned char>>> workStorage_;
  std::vector<double, CacheLineAllocator<double>> inputSignal_;
  std::vector<double, CacheLineAllocator<double>> outputSignal_;
  std::vector<int32_t> sampleHits_;
  std::array<int32_t, 2> taskIds_{};
};

}  // namespace quenvarith::host
