#include "host/dxp.h"

extern "C" __attribute__((visibility("default"))) void dxpFunction(int /*nlhs*/,
                                                                   VqArray* /*plhs*/[],
                                                                   int /*nrhs*/,
                                                                   const VqArray* /*prhs*/[]) {}
