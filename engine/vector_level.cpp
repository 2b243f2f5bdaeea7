#include "engine/vector_level.h"

namespace quenvarith::engine {

namespace {

bool hasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return static_cast<bool>(__builtin_cpu_supports("avx2"));
#else
  return false;
#endif
}

}  // namespace

bool runsHere(VectorLevel level) {
  return level == VectorLevel::Plain || hasAvx2();
}

VectorLevel fastestVectorLevel() {
  return hasAvx2() ? VectorLevel::Avx2 : VectorLevel::Plain;
}

}  // namespace quenvarith::engine
