#pragma once
// One device the collector polls, and the time-outs it uses for it.
#include <chrono>
#include <cstdint>
#include <string>

#include "collector/Records.h"
#include "device/Connect.h"
#include "net/CommandChannel.h"

namespace kestrel::collector {

struct DeviceTarget {
  DeviceRef device;
  std::chrono::milliseconds interval{1000};
  std::uint32_t localAddress = 0;  // network byte order; every socket is bound to it
};

// The bounds of every wait. The defaults are the product's; tests shorten
// them.
struct PollTimings {
  net::ChannelTimeouts channel{};
  device::ConnectSettings connect{};
  // Waits between connect attempts after a failure: the first, doubling up
  // to the longest, each drawn at random from [wait/2, wait] (jitter) so that
  // devices that failed together do not all come back at the same moment.
  std::chrono::milliseconds backoffFirst{1000};
  std::chrono::milliseconds backoffMax{60000};
  // The first connect waits a random part of the interval, at most this.
  std::chrono::milliseconds startSpreadMax{1000};
};

}  // namespace kestrel::collector
