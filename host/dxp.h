/* The host's plug-in library (libdxp): raising an error from inside a plug-in, and the host's
 * guarded call of a plug-in's entry point that receives it.
 *
 * dxpErrMsgTxt never returns: it throws a C++ exception that unwinds through the plug-in's
 * frames back to dxpCallEntry, which lives in this same library and therefore catches exactly
 * the type it threw, whichever module the plug-in was built into. No longjmp crosses C++
 * frames. */
#ifndef QUENVARITH_HOST_DXP_H
#define QUENVARITH_HOST_DXP_H

#include "vq.h"

#if defined(_WIN32)
#if defined(DXP_BUILDING_LIBRARY)
#define DXP_API __declspec(dllexport)
#else
#define DXP_API __declspec(dllimport)
#endif
#else
#define DXP_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The one function a plug-in exports. A negative left-hand count makes a flag call, in which
 * left-hand slot 2 carries the block record itself. */
typedef void (*DxpEntryPoint)(int nlhs, VqArray* plhs[], int nrhs, const VqArray* prhs[]);

/* Raises `message` in the host: does not return to its caller. */
#ifdef __cplusplus
[[noreturn]]
#endif
DXP_API void
dxpErrMsgTxt(const char* message);

/* Room for a raised message; longer messages are cut, always terminated. */
enum { DXP_ERROR_MESSAGE_CAPACITY = 1024 };

typedef enum DxpCallStatus { DXP_CALL_RETURNED = 0, DXP_CALL_RAISED = 1 } DxpCallStatus;

/* Calls `entry` with the given arguments. When the plug-in raises an error through
 * dxpErrMsgTxt, returns DXP_CALL_RAISED with the exact text in `message` (which may be NULL
 * when the text is not wanted); otherwise DXP_CALL_RETURNED with `message` set to "". */
DXP_API DxpCallStatus dxpCallEntry(DxpEntryPoint entry, int nlhs, VqArray* plhs[], int nrhs,
                                   const VqArray* prhs[], char message[DXP_ERROR_MESSAGE_CAPACITY]);

#ifdef __cplusplus
}
#endif

#endif
