#pragma once
// Ending a long-running command from outside: SIGINT or SIGTERM asks it to
// stop after the sample in progress; a second signal ends the process at once.
#include <chrono>

namespace kestrel::cli {

// Installs the handlers (platform backend).
void InstallStopSignals();

// A closed output pipe ("| head") then shows as a failed write instead of
// killing the process, so the connection is still closed properly.
void IgnoreBrokenPipe();

bool StopRequested();

// Waits until `deadline` or a stop request; false when a stop was requested.
// Wakes at least every few milliseconds, so a stop is seen quickly.
bool WaitUntil(std::chrono::steady_clock::time_point deadline);

}  // namespace kestrel::cli
