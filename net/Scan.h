#pragma once
// Finding devices: the probe's first query sent as a limited broadcast on
// one interface, and every answer within the wait collected.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/AdapterTable.h"
#include "net/Probe.h"

namespace kestrel::net {

struct ScanAnswer {
  Endpoint source;             // where the answer came from
  std::array<char, 2> productCode{};
  std::int32_t probeKind = 0;
  bool supported = false;           // the probe would accept this answer
};

// Sends the two probe datagrams to `target` (255.255.255.255, network byte
// order, unless told otherwise) on settings.devicePort from `localAddress`,
// and collects answers for `waitMs`, one per source address, in the order
// they came. `error` is a socket error number when the scan could not run.
// With `stopRequested`, the wait goes in slices of at most
// kScanStopCheckMs and ends early, with the answers so far, once it says
// true; without it, the wait is one piece as always.
inline constexpr std::uint32_t kScanStopCheckMs = 100;
inline constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFFu;
std::vector<ScanAnswer> ScanForDevices(std::uint32_t localAddress, std::uint32_t waitMs,
                                       const ProbeSettings& settings, int& error,
                                       std::uint32_t target = kLimitedBroadcast,
                                       const std::function<bool()>& stopRequested = {});

// What a scan that found nothing tells, so that silence is not taken for
// success: "no device answered on veth0 (10.77.0.1/24) within 5 s", with
// "to A.B.C.D " before "on" when the query went to another target than the
// limited broadcast.
std::string NoAnswerText(const AdapterEntry& local, std::uint32_t waitMs,
                         std::uint32_t target = kLimitedBroadcast);

}  // namespace kestrel::net
