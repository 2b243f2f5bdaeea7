#include "entry/small_methods.h"

#include "entry/texts.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace quenvarith {

void mdlStart(DxpBlockRecord* /*record*/) {}

void mdlProcessParameters(DxpBlockRecord* /*record*/) {}

void reportNoVariableHit(DxpBlockRecord* record) {
  dxpSetErrorStatus(record, entry::kNoVariableHitMessage);
}

void reportNoZeroCrossings(DxpBlockRecord* record) {
  dxpSetErrorStatus(record, entry::kNoZeroCrossingsMessage);
}

}  // namespace quenvarith

#if defined(_WIN32)
// The block has no per-thread state, so thread start and end need not reach it; it does no work
// of its own at load or unload.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
#endif
