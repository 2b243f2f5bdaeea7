// The signals that ask a run to stop: SIGINT, SIGTERM and SIGHUP (Ctrl-C and Ctrl-Break on
// Windows). Caught, they end the run at a step boundary with its output complete, instead of
// killing the program in the middle of a write.
#pragma once

#include <string>

#include "engine/simulation.h"

namespace quenvarith::cli {

// Installs the handlers (a signal the program was started with ignored stays ignored); the
// token tells the run when one of the signals came.
engine::StopToken catchStopSignals();

// The signal that asked the run to stop, 0 while none has.
int stopSignal();
// "SIGINT", "SIGTERM"...
std::string signalName(int signal);

// Ends the program as the signal would have: its default action restored and the signal raised
// again, so that a calling shell sees the program killed by it.
[[noreturn]] void dieOfStopSignal();

}  // namespace quenvarith::cli
