#pragma once
// kestrel-sim as a child process: the one way C++ tests and the benchmarks
// start the real executable. It binds to a loopback address with its ports
// chosen by the system; its standard output and error go to files of its
// own, so the child never blocks on a full pipe and the test's descriptors
// stay its own. Destroying it stops the child.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/SimPorts.h"

namespace kestrel::testing {

// The bound of the waits for the ready line and for the end, and how long
// Stop lets SIGTERM work before SIGKILL.
inline constexpr std::chrono::milliseconds kSimWait{5000};
inline constexpr std::chrono::milliseconds kSimStopGrace{2000};

// Quiet leaves the log empty and the simulator answering without writing it
// (for timings).
enum class SimLog { Verbose, Quiet };

// A command line passed exactly as given, for tests of the command line
// itself (help, refused options): nothing is added and no ready line awaited.
struct SimArguments {
  std::vector<std::string> args;
};

class SimProcess {
 public:
  // Starts kestrel-sim bound to `address` with `options` (faults, model, ...)
  // and waits up to kSimWait for its ready line.
  SimProcess(const std::string& address, const std::vector<std::string>& options = {},
             SimLog log = SimLog::Verbose);
  explicit SimProcess(const SimArguments& arguments);
  ~SimProcess();  // Stop()
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool ready() const { return ready_; }
  const std::string& address() const { return address_; }
  const SimPorts& ports() const { return ports_; }
  // The first line of standard output.
  std::string ReadyLine() const;
  // Standard output so far.
  std::string Output() const;
  // Standard error so far: the verbose log, or why the simulator refused to run.
  std::string Log() const;
  // Lines of the log that contain `text`.
  int CountLogLines(const std::string& text) const;
  // Every connection the log shows accepted has been closed again; waits a
  // little for closes still being logged.
  bool AllConnectionsClosed() const;

  void Signal(int signal);
  // The exit status (128 + the signal when a signal ended it), or -1 when the
  // child has not ended within `limit`.
  int Wait(std::chrono::milliseconds limit = kSimWait);
  // SIGTERM, then SIGKILL if the child has not ended within kSimStopGrace;
  // the exit status.
  int Stop();

 private:
  void Spawn(const std::vector<std::string>& args);
  bool Reaped();
  std::string Read(const char* name) const;

  std::string address_;
  std::string folder_;  // holds the files "out" and "log"
  pid_t pid_ = -1;
  int status_ = -1;
  bool ready_ = false;
  SimPorts ports_;
};

}  // namespace kestrel::testing
