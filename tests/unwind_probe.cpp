// A stand-in plug-in, built and linked as the real one is, that raises its error two frames
// down with objects to destroy on the way out. Element 0 of right-hand argument 1 counts the
// destructors that ran; a second right-hand argument asks for the error.
#include "host/dxp.h"

#if defined(_WIN32)
#define UNWIND_PROBE_EXPORT __declspec(dllexport)
#else
#define UNWIND_PROBE_EXPORT __attribute__((visibility("default")))
#endif

namespace {

class DestructionCounter {
 public:
  explicit DestructionCounter(double* count) : count_(count) {}
  DestructionCounter(const DestructionCounter&) = delete;
  DestructionCounter& operator=(const DestructionCounter&) = delete;
  ~DestructionCounter() { *count_ += 1.0; }

 private:
  double* count_;
};

// Kept out of line so that the plug-in has a frame of its own with a cleanup between its entry
// point and the host's raise.
[[gnu::noinline]] void raiseFromNestedFrame(double* count) {
  const DestructionCounter counter(count);
  dxpErrMsgTxt("raised inside the plug-in");
}

}  // namespace

extern "C" UNWIND_PROBE_EXPORT void dxpFunction(int /*nlhs*/, VqArray* /*plhs*/[], int nrhs,
                                                const VqArray* prhs[]) {
  double* count = vqGetPr(prhs[0]);
  const DestructionCounter counter(count);
  if (nrhs > 1) {
    raiseFromNestedFrame(count);
  }
}
