// The host's plug-in library: the raise-and-catch pair that carries a plug-in's error message
// back to the host's call site.
#include "dxp.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Thrown by dxpErrMsgTxt and caught only by dxpCallEntry, both in this library.
struct RaisedError {
  std::string message;
};

}  // namespace

extern "C" {

void dxpErrMsgTxt(const char* message) {
  throw RaisedError{message != nullptr ? message : ""};
}

DxpCallStatus dxpCallEntry(DxpEntryPoint entry, int nlhs, VqArray* plhs[], int nrhs,
                           const VqArray* prhs[], char message[DXP_ERROR_MESSAGE_CAPACITY]) {
  if (message != nullptr) message[0] = '\0';
  try {
    entry(nlhs, plhs, nrhs, prhs);
  } catch (const RaisedError& raised) {
    if (message != nullptr) {
      const size_t length =
          std::min(raised.message.size(), static_cast<size_t>(DXP_ERROR_MESSAGE_CAPACITY - 1));
      std::memcpy(message, raised.message.data(), length);
      message[length] = '\0';
    }
    return DXP_CALL_RAISED;
  }
  return DXP_CALL_RETURNED;
}

}  // extern "C"
