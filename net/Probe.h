#pragma once
// UDP discovery probe: asks the device on port 30718 what it is.
#include <cstdint>
#include <string>

#include "device/DeviceState.h"

namespace kestrel {

struct ProbeSettings {
  std::uint16_t devicePort = 30718;
  std::uint32_t replyWaitMs = 5000;       // wait for the probe reply
  std::uint32_t followUpReceiveMs = 1000; // receive time-out of each follow-up
  std::uint32_t pauseMs = 10;             // between the two probe datagrams
};

// 0 accepted, -1 not accepted or follow-up failed, -2 no answer, > 0 a socket
// error number (socket creation or the wait failed).
inline constexpr std::int32_t kProbeRejected = -1;
inline constexpr std::int32_t kProbeNoAnswer = -2;

std::int32_t ProbeDevice(DeviceState& state, const std::string& addressText,
                         const ProbeSettings& settings = {});

}  // namespace kestrel
