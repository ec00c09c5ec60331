#pragma once
// Where a device's counts stood when the store last committed them: what a
// poller takes up after a restart, so that its totals go on and its first
// increase covers the pulses counted while the collector was away.
#include <array>
#include <cstdint>
#include <string>

#include "collector/Records.h"

namespace kestrel::collector {

struct ResumeInput {
  bool present = false;
  std::uint32_t raw = 0;
  std::uint64_t total = 0;
  WallClock::time_point time;  // when that value was read
};

struct ResumePoint {
  // The identity the counts belong to: a device answering with another is
  // another counter, and its stored counts are not taken up.
  std::string model;
  std::int32_t unit = 0;
  std::string productCode;
  WallClock::time_point time;  // the last stored sample of the device
  std::array<ResumeInput, kMaxInputs> inputs{};
};

// True when `identity` is the device the stored counts came from.
bool SameCounter(const ResumePoint& point, const DeviceIdentity& identity);

// "stored counts of MODEL unit N (CODE) from TIME not used: ..." for the event.
std::string DiscardReason(const ResumePoint& point, const DeviceIdentity& identity);

}  // namespace kestrel::collector
