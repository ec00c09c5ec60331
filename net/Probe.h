#pragma once
// UDP discovery probe: asks the device on its discovery port what it is.
#include <cstdint>
#include <string>

#include "common/DeviceState.h"
#include "common/Protocol.h"
#include "common/Status.h"
#include "common/Task.h"
#include "net/Link.h"
#include "net/Socket.h"

namespace kestrel::net {

struct ProbeSettings {
  std::uint16_t devicePort = protocol::kProbePort;
  std::uint32_t replyWaitMs = 5000;       // wait for the probe reply
  std::uint32_t followUpReceiveMs = 1000; // receive time-out of each follow-up
  std::uint32_t pauseMs = 10;             // between the two probe datagrams
};

// 0 accepted, -1 not accepted or follow-up failed, -2 no answer, > 0 a socket
// error number (socket creation or the wait failed).
inline constexpr std::int32_t kProbeRejected = -1;
inline constexpr std::int32_t kProbeNoAnswer = -2;

// Probes the device at `addressText` (dotted IPv4 or a host name), bound to
// state.localAddress. Writes responderAddress, productCode, probeKind and,
// for one kind of device, protocolFamily. The socket is closed on return.
std::int32_t ProbeDevice(DeviceState& state, const std::string& addressText,
                         const ProbeSettings& settings = {});

// The probe's steps over `port`: what ProbeDevice runs at once, and an event
// loop runs over its own socket.
Task<std::int32_t> ProbeSteps(ProbePort& port, DeviceState& state, const std::string& addressText,
                              const ProbeSettings& settings);

// Receives and classifies the probe reply waiting on `port`: 0 or 1 (1 for
// the accepted X product codes) when accepted, else kStatusFail.
Task<Status> ParseProbeReply(ProbePort& port, DeviceState& state);

// The follow-up queries to state.responderAddress; each reply must arrive
// within the port's receive time-out. kStatusOk or kStatusFail.
Task<Status> ProbeFollowUp(ProbePort& port, DeviceState& state);

// What ParseProbeReply does once the datagram is in: `length` bytes of the
// reply (at most the 30-byte buffer), received from `from`.
Status ClassifyProbeReply(DeviceState& state, const std::uint8_t* reply, std::size_t length,
                          Endpoint from);

// Judges the text field of the reply to the F4 query (`length` bytes, at most
// its 33-byte buffer): protocolFamily becomes 1 when the text lacks "GC".
void JudgeTextReply(DeviceState& state, const std::uint8_t* reply, std::size_t length);

}  // namespace kestrel::net
