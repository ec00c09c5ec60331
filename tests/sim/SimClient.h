#pragma once
// The tool's side of the simulator's own tests: the project's command channel
// talking to a simulator running in the test process.
#include <optional>
#include <string>

#include "common/DeviceState.h"
#include "net/CommandChannel.h"
#include "tests/support/Loopback.h"
#include "tests/support/SimThread.h"

namespace kestrel::testing {

// Sim tests keep to their own loopback block.
inline constexpr char kSimAddress[] = "127.0.4.1";
inline constexpr net::ChannelTimeouts kShortTimeouts{500, 500, 400, 1000, 10};

// A DeviceState bound to the loopback address and a command channel with
// short time-outs.
class Client {
 public:
  explicit Client(const SimThread& sim, net::ChannelTimeouts timeouts = kShortTimeouts);

  bool Open();
  // One request with the terminator framing; the reply, or nothing when the
  // exchange failed (lastError then tells why).
  std::optional<Bytes> Exchange(const Bytes& request);
  // The DUMP query on the configuration port.
  std::optional<std::string> Dump();

  DeviceState state;
  net::CommandChannel channel;

 private:
  const SimThread& sim_;
};

}  // namespace kestrel::testing
