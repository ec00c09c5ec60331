#include "net/Scan.h"

#include <algorithm>
#include <bitset>
#include <chrono>
#include <cstdio>
#include <thread>

#include "common/Protocol.h"
#include "net/AddressText.h"

namespace kestrel::net {

std::vector<ScanAnswer> ScanForDevices(std::uint32_t localAddress, std::uint32_t waitMs,
                                       const ProbeSettings& settings, int& error,
                                       std::uint32_t target,
                                       const std::function<bool()>& stopRequested) {
  using Clock = std::chrono::steady_clock;
  std::vector<ScanAnswer> answers;
  SocketHandle s = kInvalidSocket;
  if ((error = CreateSocket(SocketKind::Datagram, s)) != 0) return answers;
  SetBroadcast(s, true);
  if ((error = Bind(s, {localAddress, 0})) != 0) {
    CloseSocket(s);
    return answers;
  }
  const Endpoint to{target, settings.devicePort};
  SendTo(s, protocol::kProbeQuery.data(), protocol::kProbeQuery.size(), to);
  std::this_thread::sleep_for(std::chrono::milliseconds(settings.pauseMs));
  SendTo(s, protocol::kProbeSecondDatagram.data(), protocol::kProbeSecondDatagram.size(), to);

  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  constexpr std::chrono::microseconds kStopCheck = std::chrono::milliseconds(kScanStopCheckMs);
  for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
    if (stopRequested && stopRequested()) break;
    auto leftUs = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
    if (stopRequested) leftUs = std::min(leftUs, kStopCheck);
    bool readable = false;
    if (WaitReadable(s, static_cast<std::uint32_t>(leftUs.count()), readable) != 0) break;
    if (!readable && !stopRequested) break;  // the whole wait is over
    if (!readable) continue;                 // a slice is over: the loop checks the time
    std::array<std::uint8_t, protocol::kProbeReplyBuffer> reply{};
    std::size_t length = 0;
    Endpoint from;
    // An oversized datagram is skipped, as the probe would refuse it.
    if (ReceiveFrom(s, reply.data(), reply.size(), length, from) != 0) continue;
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
  CloseSocket(s);
  return answers;
}

std::string NoAnswerText(const AdapterEntry& local, std::uint32_t waitMs, std::uint32_t target) {
  const std::string name = local.friendlyName.empty() ? local.description : local.friendlyName;
  const std::size_t prefix = std::bitset<32>(local.mask).count();  // a mask's ones, in any byte order
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g", waitMs / 1000.0);
  std::string text = "no device answered ";
  if (target != kLimitedBroadcast) text += "to " + FormatAddress(target) + " ";
  return text + "on " + name + " (" + FormatAddress(local.address) + "/" + std::to_string(prefix) +
         ") within " + seconds + " s";
}

}  // namespace kestrel::net
