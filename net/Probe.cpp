#include "net/Probe.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "common/Protocol.h"
#include "net/AddressText.h"
#include "net/BlockingLink.h"
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

// Closes the probe socket on every way out of the probe.
class ProbeCloser {
 public:
  explicit ProbeCloser(ProbePort& port) : port_(port) {}
  ~ProbeCloser() { port_.CloseProbe(); }
  ProbeCloser(const ProbeCloser&) = delete;
  ProbeCloser& operator=(const ProbeCloser&) = delete;

 private:
  ProbePort& port_;
};

template <std::size_t N>
void SendQuery(ProbePort& port, const std::array<std::uint8_t, N>& query, Endpoint to) {
  port.SendProbe(query.data(), query.size(), to);
}

}  // namespace

std::int32_t ProbeDevice(DeviceState& state, const std::string& addressText,
                         const ProbeSettings& settings) {
  BlockingProbePort port;
  return RunToEnd(ProbeSteps(port, state, addressText, settings));
}

Task<std::int32_t> ProbeSteps(ProbePort& port, DeviceState& state, const std::string& addressText,
                              const ProbeSettings& settings) {
  if (const int e = port.OpenProbe(state.localAddress, settings.followUpReceiveMs); e != 0)
    co_return e;
  const ProbeCloser closer(port);

  // A text that is neither an address nor a known host name becomes the
  // all-ones address, as the classic conversion gives it.
  const Endpoint device{ResolveDeviceAddress(addressText).value_or(kAddressNone),
                        settings.devicePort};
  SendQuery(port, protocol::kProbeQuery, device);
  co_await port.Pause(settings.pauseMs);
  SendQuery(port, protocol::kProbeSecondDatagram, device);

  const std::uint64_t waitUs = std::uint64_t{settings.replyWaitMs} * 1000u;
  bool readable = false;
  const int e = co_await port.WaitProbeReadable(
      static_cast<std::uint32_t>(std::min<std::uint64_t>(waitUs, UINT32_MAX)), readable);
  if (e != 0) co_return e;
  if (!readable) co_return kProbeNoAnswer;

  const Status parsed = co_await ParseProbeReply(port, state);
  if (Failed(parsed)) co_return kProbeRejected;
  if (!NeedsFollowUp(state.probeKind)) co_return 0;
  const Status followed = co_await ProbeFollowUp(port, state);
  co_return Failed(followed) ? kProbeRejected : 0;
}

Task<Status> ParseProbeReply(ProbePort& port, DeviceState& state) {
  std::array<std::uint8_t, protocol::kProbeReplyBuffer> reply{};
  std::size_t received = 0;
  Endpoint from;
  const int e = co_await port.ReceiveProbe(reply.data(), reply.size(), received, from);
  if (e != 0) co_return kStatusFail;
  co_return ClassifyProbeReply(state, reply.data(), received, from);
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

Task<Status> ProbeFollowUp(ProbePort& port, DeviceState& state) {
  std::size_t received = 0;
  Endpoint from;

  SendQuery(port, protocol::kFollowUpQuery, ToEndpoint(state.responderAddress));
  std::array<std::uint8_t, protocol::kFollowUpReplyBuffer> followUp{};
  const int first = co_await port.ReceiveProbe(followUp.data(), followUp.size(), received, from);
  if (first != 0) co_return kStatusFail;
  state.responderAddress = ToSocketAddress(from);

  if (state.productCode != std::array<char, 2>{'X', '6'}) co_return kStatusOk;

  SendQuery(port, protocol::kTextQuery, ToEndpoint(state.responderAddress));
  std::array<std::uint8_t, protocol::kTextReplyBuffer> textReply{};
  const int second =
      co_await port.ReceiveProbe(textReply.data(), textReply.size(), received, from);
  if (second != 0) co_return kStatusFail;
  state.responderAddress = ToSocketAddress(from);
  JudgeTextReply(state, textReply.data(), received);
  co_return kStatusOk;
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
