// The plug-in's one exported function and the two forms of call it branches into.
#pragma once

#include "host/vq.h"

#if defined(_WIN32)
#define QUENVARITH_EXPORT __declspec(dllexport)
#else
#define QUENVARITH_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// A left-hand count of 0 or more makes a set-up call; a negative count makes a flag call.
QUENVARITH_EXPORT void dxpFunction(int nlhs, VqArray* plhs[], int nrhs, const VqArray* prhs[]);
}
