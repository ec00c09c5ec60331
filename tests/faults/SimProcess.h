#pragma once
// kestrel-sim as a child process on a loopback address, with its ports chosen
// by the system and its verbose log in a file, so that a test sees exactly
// what went over the wire and its own descriptors stay its own. Shared by the
// fault matrix, the descriptor test and the benchmarks.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::testing {

struct SimPorts {
  std::uint16_t command = 0;
  std::uint16_t config = 0;
  std::uint16_t discovery = 0;
};

class SimProcess {
 public:
  // Starts `simPath` bound to `address` with `options` (faults, model, ...),
  // and waits up to 5 s for its ready line. Without `verbose` the log stays
  // empty and the simulator answers without writing it (for timings).
  SimProcess(const std::string& simPath, const std::string& address,
             const std::vector<std::string>& options, bool verbose = true);
  ~SimProcess();  // SIGTERM, then SIGKILL if it has not ended within 2 s
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool ready() const { return ready_; }
  const std::string& address() const { return address_; }
  const SimPorts& ports() const { return ports_; }
  // The verbose log so far.
  std::string Log() const;
  // Lines of the log that contain `text`.
  int CountLogLines(const std::string& text) const;

 private:
  std::string address_;
  std::string logPath_;
  pid_t pid_ = -1;
  bool ready_ = false;
  SimPorts ports_;
};

}  // namespace kestrel::testing
