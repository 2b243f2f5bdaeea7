#include "entry/entry.h"

#include "entry/flag_dispatch.h"
#include "entry/setup_call.h"

extern "C" void dxpFunction(int nlhs, VqArray* plhs[], int nrhs, const VqArray* prhs[]) {
  if (nlhs >= 0) {
    quenvarith::entry::processSetupCall(nlhs, plhs, nrhs, prhs);
  } else {
    quenvarith::entry::processFlagCall(plhs, nrhs, prhs);
  }
}
