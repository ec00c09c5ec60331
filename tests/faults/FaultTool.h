#pragma once
// The tool side of the fault tests: the core connect steps and device
// operations against a kestrel-sim process on 127.0.7.2, bound to 127.0.7.1,
// reporting to a recording operator port.
#include <chrono>
#include <string>
#include <vector>

#include "device/CommandSet.h"
#include "device/Connect.h"
#include "net/CommandChannel.h"
#include "tests/device/RecordingFrontEnd.h"
#include "tests/support/SimProcess.h"

namespace kestrel::testing {

inline constexpr char kFaultSimAddress[] = "127.0.7.2";

// The product's waits, shortened so a time-out costs a fraction of a second.
net::ChannelTimeouts ShortChannelTimeouts();
net::ProbeSettings ShortProbeSettings();

// Every counter holds still at a known value (rates 0), so a read must show
// exactly these.
std::vector<std::string> StillCounters();
std::uint32_t StillCount(int input);

class FaultTool {
 public:
  FaultTool(const SimProcess& sim, net::ChannelTimeouts timeouts = ShortChannelTimeouts(),
            net::ProbeSettings probe = ShortProbeSettings());

  device::ConnectResult Connect();
  device::ConnectResult Connect(const std::string& portText);
  void Disconnect();
  // As the window reads counters: every enabled input of the model, in order,
  // stopping at the first failure.
  Status ReadAllCounts();
  bool CountsAreStill() const;

  DeviceState state;
  net::CommandChannel channel;
  device::RecordingFrontEnd frontEnd;
  device::CommandSet commands;

 private:
  const SimProcess& sim_;
  device::ConnectSettings settings_;
};

// Milliseconds that `action` took.
template <class Action>
long long MillisecondsOf(Action&& action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

}  // namespace kestrel::testing
