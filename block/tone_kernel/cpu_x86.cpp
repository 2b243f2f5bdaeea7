// What this x86-64 processor offers the vector kernels: the instruction sets, and the register
// state the operating system saves on a context switch, without which they must not run.
#include <cpuid.h>

#include <cstdint>

#include "block/tone_kernel/cpu_features.h"

namespace quenvarith {

namespace {

constexpr uint32_t kFmaBit = 1U << 12U;      // leaf 1, ECX
constexpr uint32_t kOsXsaveBit = 1U << 27U;  // leaf 1, ECX
constexpr uint32_t kAvxBit = 1U << 28U;      // leaf 1, ECX
constexpr uint32_t kAvx2Bit = 1U << 5U;      // leaf 7, EBX
constexpr uint32_t kAvx512fBit = 1U << 16U;  // leaf 7, EBX
constexpr uint64_t kYmmState = 0x6;          // XMM and upper YMM halves
constexpr uint64_t kZmmState = 0xe6;         // the above, opmasks, upper ZMM halves, ZMM16-31

struct X86Features {
  bool avx2Fma = false;
  bool avx512f = false;
};

// The register state the operating system saves (XCR0).
uint64_t savedRegisterState() {
  uint32_t low = 0;
  uint32_t high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (uint64_t{high} << 32U) | low;
}

// Asks the processor (slow under a hypervisor, so done once).
X86Features detectFeatures() {
  uint32_t eax = 0;
  uint32_t ebx = 0;
  uint32_t ecx = 0;
  uint32_t edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
    return {};
  }
  // Both vector kernels use FMA.
  const uint32_t avxNeeds = kOsXsaveBit | kAvxBit | kFmaBit;
  if ((ecx & avxNeeds) != avxNeeds) {
    return {};
  }
  const uint64_t state = savedRegisterState();
  if ((state & kYmmState) != kYmmState || __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) {
    return {};
  }
  return {.avx2Fma = (ebx & kAvx2Bit) != 0,
          .avx512f = (ebx & kAvx512fBit) != 0 && (state & kZmmState) == kZmmState};
}

}  // namespace

bool cpuHas(CpuFeature feature) {
  static const X86Features detected = detectFeatures();
  switch (feature) {
    case CpuFeature::none:
      return true;
    case CpuFeature::avx2Fma:
      return detected.avx2Fma;
    case CpuFeature::avx512f:
      return detected.avx512f;
  }
  return false;
}

}  // namespace quenvarith
