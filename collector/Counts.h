#pragma once
// Turning the device's 32-bit counters into increases, running totals and
// rates. This is where wraps and resets are told apart.
#include <array>
#include <cstdint>
#include <optional>

#include "collector/Records.h"

namespace kestrel::collector {

struct CountStep {
  std::uint64_t increase = 0;
  bool wrapped = false;
  bool reset = false;
};

// The increase from `previous` to `current`. A decrease by more than half
// the 32-bit range is a wrap (the counter went on past 2^32 - 1); any other
// decrease means the device's counter started again from 0 (a reset), so the
// pulses since then are `current`. Pulses before the reset that were not yet
// read are lost, and the flag says so.
CountStep CountIncrease(std::uint32_t previous, std::uint32_t current);

// One input's history: the last good value and the running total.
class CounterTrack {
 public:
  InputValue Update(std::uint32_t raw, SteadyClock::time_point at);
  // Takes up a stored value: the next Update counts from `raw`, read at
  // `at`, and adds to `total`.
  void Resume(std::uint32_t raw, std::uint64_t total, SteadyClock::time_point at);

 private:
  std::optional<std::uint32_t> last_;
  SteadyClock::time_point lastAt_{};
  std::uint64_t total_ = 0;
};

// The tracks of a device's eight inputs. They live as long as the poller, so
// a sample after a reconnect continues the totals and its increase spans the
// gap.
struct DeviceCounts {
  std::array<CounterTrack, kMaxInputs> tracks{};
};

}  // namespace kestrel::collector
