// The host's array library. Arrays are column-major; complex arrays keep their real and
// imaginary parts in two separate blocks, as the host's data accessors expect.
#include "vq.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

struct VqArray {
  VqClass elementClass = VQ_CLASS_DOUBLE;
  bool complex = false;
  bool sparse = false;
  size_t rows = 0;
  size_t columns = 0;
  std::vector<unsigned char> realBytes;
  std::vector<unsigned char> imagBytes;
  // What vqGetPr and vqGetPi answer, fixed when the array is made: plug-ins ask at every step.
  double* realDoubles = nullptr;
  double* imagDoubles = nullptr;
};

struct VqAllocationScope {
  struct Block {
    void* memory;
    size_t bytes;
  };
  std::vector<Block> blocks;
  std::mutex guard;  // only the process-wide scope is ever shared between threads

  ~VqAllocationScope() {
    for (const Block& block : blocks) std::free(block.memory);
  }
};

namespace {

size_t elementBytes(VqClass elementClass) {
  switch (elementClass) {
    case VQ_CLASS_DOUBLE:
      return sizeof(double);
    case VQ_CLASS_SINGLE:
      return sizeof(float);
    case VQ_CLASS_INT32:
      return sizeof(int32_t);
    case VQ_CLASS_CHAR:
      return sizeof(char16_t);
  }
  return sizeof(double);
}

[[noreturn]] void outOfMemory() {
  (void)std::fputs("vq: out of memory\n", stderr);
  std::abort();
}

size_t checkedProduct(size_t a, size_t b) {
  if (a != 0 && b > SIZE_MAX / a) outOfMemory();
  return a * b;
}

// The doubles of an array's bytes; null for none.
double* doublesOf(std::vector<unsigned char>& bytes) {
  return bytes.empty() ? nullptr : reinterpret_cast<double*>(bytes.data());
}

VqArray* makeArray(size_t rows, size_t columns, VqClass elementClass, bool complex) {
  auto* array = new (std::nothrow) VqArray;
  if (array == nullptr) outOfMemory();
  array->elementClass = elementClass;
  array->complex = complex;
  array->rows = rows;
  array->columns = columns;
  const size_t bytes = checkedProduct(checkedProduct(rows, columns), elementBytes(elementClass));
  array->realBytes.assign(bytes, 0);
  if (complex) array->imagBytes.assign(bytes, 0);
  if (elementClass == VQ_CLASS_DOUBLE) {
    array->realDoubles = doublesOf(array->realBytes);
    array->imagDoubles = doublesOf(array->imagBytes);
  }
  return array;
}

// The scope that owns allocations made while a thread has none of its own; released at exit.
VqAllocationScope& processScope() {
  static VqAllocationScope scope;
  return scope;
}

thread_local VqAllocationScope* currentScope = nullptr;

}  // namespace

extern "C" {

double* vqGetPr(const VqArray* array) {
  return array->realDoubles;
}

double* vqGetPi(const VqArray* array) {
  return array->imagDoubles;
}

size_t vqGetM(const VqArray* array) {
  return array->rows;
}
size_t vqGetN(const VqArray* array) {
  return array->columns;
}
size_t vqGetNumberOfElements(const VqArray* array) {
  return array->rows * array->columns;
}
int vqIsNumeric(const VqArray* array) {
  return array->elementClass != VQ_CLASS_CHAR ? 1 : 0;
}
int vqIsComplex(const VqArray* array) {
  return array->complex ? 1 : 0;
}
int vqIsSparse(const VqArray* array) {
  return array->sparse ? 1 : 0;
}
int vqIsDouble(const VqArray* array) {
  return array->elementClass == VQ_CLASS_DOUBLE ? 1 : 0;
}
int vqIsEmpty(const VqArray* array) {
  return vqGetNumberOfElements(array) == 0 ? 1 : 0;
}
int vqIsInf(double value) {
  return std::isinf(value) ? 1 : 0;
}
int vqIsNaN(double value) {
  return std::isnan(value) ? 1 : 0;
}

void* vqCalloc(size_t count, size_t elementSize) {
  const size_t bytes = checkedProduct(count, elementSize);
  // calloc(0) may return NULL; the block relies on a usable pointer.
  void* memory = std::calloc(bytes == 0 ? 1 : bytes, 1);
  if (memory == nullptr) outOfMemory();
  VqAllocationScope& scope = currentScope != nullptr ? *currentScope : processScope();
  const std::lock_guard<std::mutex> lock(scope.guard);
  scope.blocks.push_back({memory, bytes});
  return memory;
}

VqArray* vqCreateDoubleMatrix(size_t rows, size_t columns, VqComplexity complexity) {
  return makeArray(rows, columns, VQ_CLASS_DOUBLE, complexity == VQ_COMPLEX);
}

VqArray* vqCreateDoubleScalar(double value) {
  VqArray* array = makeArray(1, 1, VQ_CLASS_DOUBLE, false);
  std::memcpy(array->realBytes.data(), &value, sizeof value);
  return array;
}

VqArray* vqCreateNumericMatrix(size_t rows, size_t columns, VqClass elementClass,
                               VqComplexity complexity) {
  return makeArray(rows, columns, elementClass, complexity == VQ_COMPLEX);
}

VqArray* vqCreateSparseScalar(size_t rows, size_t columns, double value) {
  VqArray* array = makeArray(rows, columns, VQ_CLASS_DOUBLE, false);
  array->sparse = true;
  if (!array->realBytes.empty()) std::memcpy(array->realBytes.data(), &value, sizeof value);
  return array;
}

VqArray* vqCreateString(const char* text) {
  const size_t length = std::strlen(text);
  VqArray* array = makeArray(length == 0 ? 0 : 1, length, VQ_CLASS_CHAR, false);
  for (size_t i = 0; i < length; ++i) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    std::memcpy(array->realBytes.data() + i * sizeof unit, &unit, sizeof unit);
  }
  return array;
}

void* vqGetData(const VqArray* array) {
  if (array->realBytes.empty()) return nullptr;
  return const_cast<unsigned char*>(array->realBytes.data());
}

VqClass vqGetClass(const VqArray* array) {
  return array->elementClass;
}

void vqDestroyArray(VqArray* array) {
  delete array;
}

VqAllocationScope* vqCreateAllocationScope(void) {
  auto* scope = new (std::nothrow) VqAllocationScope;
  if (scope == nullptr) outOfMemory();
  return scope;
}

void vqDestroyAllocationScope(VqAllocationScope* scope) {
  if (scope == currentScope) currentScope = nullptr;
  delete scope;
}

VqAllocationScope* vqSetCurrentAllocationScope(VqAllocationScope* scope) {
  VqAllocationScope* previous = currentScope;
  currentScope = scope;
  return previous;
}

size_t vqAllocationCount(const VqAllocationScope* scope) {
  auto& shared = const_cast<VqAllocationScope&>(*scope);
  const std::lock_guard<std::mutex> lock(shared.guard);
  return shared.blocks.size();
}

size_t vqAllocatedBytes(const VqAllocationScope* scope) {
  auto& shared = const_cast<VqAllocationScope&>(*scope);
  const std::lock_guard<std::mutex> lock(shared.guard);
  size_t total = 0;
  for (const auto& block : shared.blocks) total += block.bytes;
  return total;
}

}  // extern "C"
