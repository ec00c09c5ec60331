#include "net/Probe.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <string_view>
#include <thread>

#include "common/Protocol.h"
#include "net/AddressText.h"
#include "net/SocketAddress.h"

namespace kestrel::net {

namespace {

struct Classification {
  std::int32_t kind;
  Status result;
};

Classification Classify(char first, char second) {
  if (first == 'X') {
    constexpr std::string_view kAcceptedX = "124569";
    return {ProbeKind::Plain, kAcceptedX.find(second) != std::string_view::npos ? 1 : kStatusFail};
  }
  if (first != '_') return {ProbeKind::Plain, kStatusFail};
  switch (second) {
    case 'L': return {ProbeKind::L, kStatusOk};
    case 'W': return {ProbeKind::W, kStatusOk};
    case 'B': return {ProbeKind::B, kStatusOk};
    case 'D': return {ProbeKind::D, kStatusOk};
    case 'S':
    case 'T': return {ProbeKind::Plain, kStatusFail};
    default: return {ProbeKind::Plain, kStatusOk};
  }
}

// Kinds whose devices answer no follow-up query.
bool NeedsFollowUp(std::int32_t kind) {
  return kind != ProbeKind::W && kind != ProbeKind::B && kind != ProbeKind::D;
}

// Closes the probe socket on every way out of ProbeDevice.
class SocketCloser {
 public:
  explicit SocketCloser(SocketHandle s) : s_(s) {}
  ~SocketCloser() { CloseSocket(s_); }
  SocketCloser(const SocketCloser&) = delete;
  SocketCloser& operator=(const SocketCloser&) = delete;

 private:
  SocketHandle s_;
};

template <std::size_t N>
int SendQuery(SocketHandle s, const std::array<std::uint8_t, N>& query, Endpoint to) {
  return SendTo(s, query.data(), query.size(), to);
}

}  // namespace

std::int32_t ProbeDevice(DeviceState& state, const std::string& addressText,
                         const ProbeSettings& settings) {
  SocketHandle s = kInvalidSocket;
  if (const int e = CreateSocket(SocketKind::Datagram, s); e != 0) return e;
  const SocketCloser closer(s);

  // Failures of the options, the bind and the sends show up as no answer or
  // as a failed receive, so they are not checked here.
  SetBroadcast(s, true);
  SetReceiveTimeout(s, settings.followUpReceiveMs);
  Bind(s, {state.localAddress, 0});

  // A text that is neither an address nor a known host name becomes the
  // all-ones address, as the classic conversion gives it.
  const Endpoint device{ResolveDeviceAddress(addressText).value_or(kAddressNone),
                        settings.devicePort};
  SendQuery(s, protocol::kProbeQuery, device);
  std::this_thread::sleep_for(std::chrono::milliseconds(settings.pauseMs));
  SendQuery(s, protocol::kProbeSecondDatagram, device);

  const std::uint64_t waitUs = std::uint64_t{settings.replyWaitMs} * 1000u;
  bool readable = false;
  if (const int e = WaitReadable(
          s, static_cast<std::uint32_t>(std::min<std::uint64_t>(waitUs, UINT32_MAX)), readable);
      e != 0)
    return e;
  if (!readable) return kProbeNoAnswer;

  if (Failed(ParseProbeReply(state, s))) return kProbeRejected;
  if (!NeedsFollowUp(state.probeKind)) return 0;
  return Failed(ProbeFollowUp(state, s)) ? kProbeRejected : 0;
}

Status ParseProbeReply(DeviceState& state, SocketHandle socket) {
  std::array<std::uint8_t, protocol::kProbeReplyBuffer> reply{};
  std::size_t received = 0;
  Endpoint from;
  if (ReceiveFrom(socket, reply.data(), reply.size(), received, from) != 0)
    return kStatusFail;
  return ClassifyProbeReply(state, reply.data(), received, from);
}

Status ClassifyProbeReply(DeviceState& state, const std::uint8_t* reply, std::size_t length,
                          Endpoint from) {
  // Without bytes 8 and 9 there is no product code to classify: such a reply
  // is treated like one that could not be received.
  if (length < protocol::kProductCodeOffset + 2) return kStatusFail;

  state.responderAddress = ToSocketAddress(from);
  const char first = static_cast<char>(reply[protocol::kProductCodeOffset]);
  const char second = static_cast<char>(reply[protocol::kProductCodeOffset + 1]);
  state.productCode = {first, second};
  const Classification c = Classify(first, second);
  state.probeKind = c.kind;
  return c.result;
}

Status ProbeFollowUp(DeviceState& state, SocketHandle socket) {
  std::size_t received = 0;
  Endpoint from;

  SendQuery(socket, protocol::kFollowUpQuery, ToEndpoint(state.responderAddress));
  std::array<std::uint8_t, protocol::kFollowUpReplyBuffer> followUp{};
  if (ReceiveFrom(socket, followUp.data(), followUp.size(), received, from) != 0)
    return kStatusFail;
  state.responderAddress = ToSocketAddress(from);

  if (state.productCode != std::array<char, 2>{'X', '6'}) return kStatusOk;

  SendQuery(socket, protocol::kTextQuery, ToEndpoint(state.responderAddress));
  std::array<std::uint8_t, protocol::kTextReplyBuffer> textReply{};
  if (ReceiveFrom(socket, textReply.data(), textReply.size(), received, from) != 0)
    return kStatusFail;
  state.responderAddress = ToSocketAddress(from);
  JudgeTextReply(state, textReply.data(), received);
  return kStatusOk;
}

void JudgeTextReply(DeviceState& state, const std::uint8_t* reply, std::size_t length) {
  // Bytes that a short reply leaves out count as NUL and so end the text.
  std::array<std::uint8_t, protocol::kTextReplyBuffer> textReply{};
  std::copy_n(reply, std::min(length, textReply.size()), textReply.begin());

  const auto fieldBegin = textReply.begin() + protocol::kTextFieldOffset;
  const std::string_view field(reinterpret_cast<const char*>(&*fieldBegin),
                               static_cast<std::size_t>(textReply.end() - fieldBegin));
  const std::string_view text = field.substr(0, field.find('\0'));
  if (text.find("GC") == std::string_view::npos)
    state.protocolFamily = ProtocolFamily::ProbedOther;
}

}  // namespace kestrel::net
