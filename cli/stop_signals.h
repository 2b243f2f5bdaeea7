// The signals that ask a run to stop: SIGINT, SIGTERM and SIGHUP (Ctrl-C and Ctrl-Break on
// Windows). Caught, they end the run at a step boundary with its output complete, instead of
// killing the program in the middle of a write.
#pragma once

#include <string>

#if !defined(_WIN32)
#include <csignal>
#endif

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

// Blocks the stop signals in the calling thread while it lives, so that a thread started
// meanwhile never takes them (they then interrupt the waits of the threads that do). Windows
// delivers Ctrl-C on a thread of its own: nothing to block there.
class StopSignalsBlocked {
 public:
  StopSignalsBlocked();
  StopSignalsBlocked(const StopSignalsBlocked&) = delete;
  StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;
  StopSignalsBlocked(StopSignalsBlocked&&) = delete;
  StopSignalsBlocked& operator=(StopSignalsBlocked&&) = delete;
  ~StopSignalsBlocked();

#if !defined(_WIN32)
 private:
  sigset_t previous_{};
#endif
};

}  // namespace quenvarith::cli
