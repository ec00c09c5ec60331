#pragma once
#include <cstdint>

namespace fw {

// Window timers run no faster than every 10 ms and no slower than every
// 2^31-1 ms; requested periods outside that range are pulled into it.
inline constexpr std::uint32_t kTimerMinimumMs = 10;
inline constexpr std::uint32_t kTimerMaximumMs = 0x7FFFFFFFu;

constexpr std::uint32_t ClampTimerPeriod(std::uint32_t requestedMs) {
  if (requestedMs < kTimerMinimumMs) return kTimerMinimumMs;
  if (requestedMs > kTimerMaximumMs) return kTimerMaximumMs;
  return requestedMs;
}

}  // namespace fw
