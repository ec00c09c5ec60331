#pragma once
// Runs the simulator inside the test process, on a thread of its own, and
// talks to it with the project's own command channel.
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "common/DeviceState.h"
#include "net/CommandChannel.h"
#include "sim/CommandHandler.h"
#include "sim/SimConfig.h"
#include "sim/SimServer.h"

namespace kestrel::sim::testing {

// Sim tests keep to their own loopback block.
inline constexpr char kSimAddress[] = "127.0.4.1";
inline constexpr net::ChannelTimeouts kShortTimeouts{500, 500, 400, 1000, 10};

// Loopback address, ports chosen by the system, verbose log on.
SimConfig LoopbackConfig();

class RunningSim {
 public:
  explicit RunningSim(const SimConfig& config = LoopbackConfig());
  ~RunningSim();
  RunningSim(const RunningSim&) = delete;
  RunningSim& operator=(const RunningSim&) = delete;

  const SimServer& server() const { return server_; }
  // Stops the loop and waits for it; the log is complete afterwards.
  void Stop();
  std::string Log();

 private:
  std::ostringstream log_;
  SimServer server_;
  std::thread loop_;
};

// A tool-side connection: a DeviceState bound to the loopback address and a
// command channel with short time-outs.
class Client {
 public:
  explicit Client(const RunningSim& sim, net::ChannelTimeouts timeouts = kShortTimeouts);

  bool Open();
  // One request with the terminator framing; the reply, or nothing when the
  // exchange failed (lastError then tells why).
  std::optional<Bytes> Exchange(const Bytes& request);
  // The DUMP query on the configuration port.
  std::optional<std::string> Dump();

  DeviceState state;
  net::CommandChannel channel;

 private:
  const RunningSim& sim_;
};

}  // namespace kestrel::sim::testing
