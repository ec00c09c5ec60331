#pragma once
// The simulator's server on a thread of the test process, for the tests that
// set the device up through its configuration record: the simulator's own
// unit tests and the window's workflow tests. It has the shape of
// SimProcess (address, ports, log, stop), so both read alike.
#include <sstream>
#include <string>
#include <thread>

#include "sim/SimConfig.h"
#include "sim/SimServer.h"
#include "tests/support/SimPorts.h"

namespace kestrel::testing {

// A device with the simulator's defaults bound to `address`, its ports chosen
// by the system, its verbose log on.
sim::SimConfig LoopbackSimConfig(const std::string& address);

class SimThread {
 public:
  // Opens the server's sockets (a failure is a test failure) and serves.
  explicit SimThread(const sim::SimConfig& config);
  ~SimThread();  // Stop()
  SimThread(const SimThread&) = delete;
  SimThread& operator=(const SimThread&) = delete;

  bool ready() const { return opened_; }
  const std::string& address() const { return address_; }
  SimPorts ports() const;
  // For what only the server itself tells (the second discovery port).
  const sim::SimServer& server() const { return server_; }
  // Stops the loop and waits for it.
  void Stop();
  // Stops first: then the log is complete and no longer written.
  std::string Log();

 private:
  std::string address_;
  std::ostringstream log_;
  sim::SimServer server_;
  std::thread loop_;
  bool opened_ = false;
};

}  // namespace kestrel::testing
