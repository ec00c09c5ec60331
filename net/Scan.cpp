#include "net/Scan.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/Protocol.h"

namespace kestrel {

std::vector<ScanAnswer> ScanForDevices(std::uint32_t localAddress, std::uint32_t waitMs,
                                       const ProbeSettings& settings, int& error,
                                       std::uint32_t target) {
  using Clock = std::chrono::steady_clock;
  std::vector<ScanAnswer> answers;
  net::SocketHandle s = net::kInvalidSocket;
  if ((error = net::CreateSocket(net::SocketKind::Datagram, s)) != 0) return answers;
  net::SetBroadcast(s, true);
  if ((error = net::Bind(s, {localAddress, 0})) != 0) {
    net::CloseSocket(s);
    return answers;
  }
  const net::Endpoint to{target, settings.devicePort};
  net::SendTo(s, protocol::kProbeQuery.data(), protocol::kProbeQuery.size(), to);
  std::this_thread::sleep_for(std::chrono::milliseconds(settings.pauseMs));
  net::SendTo(s, protocol::kProbeSecondDatagram.data(), protocol::kProbeSecondDatagram.size(), to);

  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
    const auto leftUs = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
    bool readable = false;
    if (net::WaitReadable(s, static_cast<std::uint32_t>(leftUs.count()), readable) != 0) break;
    if (!readable) break;
    std::array<std::uint8_t, protocol::kProbeReplyBuffer> reply{};
    std::size_t length = 0;
    net::Endpoint from;
    // An oversized datagram is skipped, as the probe would refuse it.
    if (net::ReceiveFrom(s, reply.data(), reply.size(), length, from) != 0) continue;
    const bool seen = std::any_of(answers.begin(), answers.end(), [&](const ScanAnswer& a) {
      return a.source.address == from.address;
    });
    if (seen) continue;
    // The probe's own classification, on a scratch record.
    DeviceState scratch;
    ScanAnswer answer;
    answer.source = from;
    answer.supported = Succeeded(ClassifyProbeReply(scratch, reply.data(), length, from));
    answer.productCode = scratch.productCode;
    answer.probeKind = scratch.probeKind;
    answers.push_back(answer);
  }
  net::CloseSocket(s);
  return answers;
}

}  // namespace kestrel
