#include <signal.h>

#include <csignal>

#include "cli/StopSignal.h"

namespace kestrel::cli {

namespace {

// A signal handler can only talk to the program through a flag with static
// storage; this one is written only by the handler.
volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int signalNumber) {
  stopRequested = 1;
  // The next such signal takes the default action: an operator who presses
  // Ctrl-C twice does not wait for a slow device.
  signal(signalNumber, SIG_DFL);
}

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted socket calls resume, so the exchange in progress finishes.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void IgnoreBrokenPipe() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

bool StopRequested() { return stopRequested != 0; }

}  // namespace kestrel::cli
