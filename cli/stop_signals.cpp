#include "stop_signals.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace quenvarith::cli {

namespace {

// The program's one piece of global state: a signal handler reaches nothing but globals, and may
// do nothing with them but store to a lock-free atomic.
std::atomic<int> gStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

#if defined(_WIN32)

BOOL WINAPI onConsoleControl(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    gStopSignal.store(event == CTRL_C_EVENT ? SIGINT : SIGBREAK, std::memory_order_relaxed);
    return TRUE;
  }
  return FALSE;
}

#else

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onStopSignal(int signal) {
  gStopSignal.store(signal, std::memory_order_relaxed);
}

#endif

}  // namespace

engine::StopToken catchStopSignals() {
#if defined(_WIN32)
  (void)SetConsoleCtrlHandler(onConsoleControl, TRUE);
#else
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  (void)sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read waiting for input returns, so that the run stops even then. Writes
  // are retried (engine/output_files.cpp).
  action.sa_flags = 0;
  for (const int signal : kStopSignals) {
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
      continue;  // started with it ignored, as nohup does for SIGHUP
    }
    (void)sigaction(signal, &action, nullptr);
  }
#endif
  return engine::StopToken(gStopSignal);
}

int stopSignal() {
  return gStopSignal.load(std::memory_order_relaxed);
}

std::string signalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
#if defined(_WIN32)
    case SIGBREAK:
      return "SIGBREAK";
#else
    case SIGHUP:
      return "SIGHUP";
#endif
    default:
      return "signal " + std::to_string(signal);
  }
}

void dieOfStopSignal() {
  const int signal = stopSignal();
#if defined(_WIN32)
  // What a console program killed by Ctrl-C or Ctrl-Break exits with.
  (void)signal;
  (void)SetConsoleCtrlHandler(onConsoleControl, FALSE);
  ExitProcess(STATUS_CONTROL_C_EXIT);
#else
  (void)std::signal(signal, SIG_DFL);
  (void)std::raise(signal);
  std::_Exit(128 + signal);  // only if the signal is blocked
#endif
}

#if defined(_WIN32)

StopSignalsBlocked::StopSignalsBlocked() = default;
StopSignalsBlocked::~StopSignalsBlocked() = default;

#else

StopSignalsBlocked::StopSignalsBlocked() {
  sigset_t stops{};
  (void)sigemptyset(&stops);
  for (const int signal : kStopSignals) {
    (void)sigaddset(&stops, signal);
  }
  (void)pthread_sigmask(SIG_BLOCK, &stops, &previous_);
}

StopSignalsBlocked::~StopSignalsBlocked() {
  (void)pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

#endif

}  // namespace quenvarith::cli
