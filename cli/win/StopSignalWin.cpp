#include <windows.h>

#include <atomic>

#include "cli/StopSignal.h"

namespace kestrel::cli {

namespace {

// The console calls its handlers on a thread of its own; the flag is the only
// thing they share with the program.
std::atomic<bool> stopRequested{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // A second Ctrl-C goes on to the default handler, which ends the process.
  if (stopRequested.exchange(true)) return FALSE;
  return TRUE;
}

}  // namespace

void InstallStopSignals() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

// Windows reports a closed pipe as a failed write already.
void IgnoreBrokenPipe() {}

bool StopRequested() { return stopRequested.load(); }

}  // namespace kestrel::cli
