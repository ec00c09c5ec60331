#include "collector/Counts.h"

#include <chrono>

namespace kestrel::collector {

CountStep CountIncrease(std::uint32_t previous, std::uint32_t current) {
  constexpr std::uint64_t kRange = std::uint64_t{1} << 32;
  if (current >= previous) return {current - previous, false, false};
  if (previous - current > kRange / 2) return {current + kRange - previous, true, false};
  return {current, false, true};
}

InputValue CounterTrack::Update(std::uint32_t raw, SteadyClock::time_point at) {
  InputValue value;
  value.present = true;
  value.raw = raw;
  if (last_) {
    const CountStep step = CountIncrease(*last_, raw);
    value.increase = step.increase;
    value.wrapped = step.wrapped;
    value.reset = step.reset;
    const double seconds = std::chrono::duration<double>(at - lastAt_).count();
    if (seconds > 0) value.rate = static_cast<double>(step.increase) / seconds;
  }
  total_ += value.increase;
  value.total = total_;
  last_ = raw;
  lastAt_ = at;
  return value;
}

void CounterTrack::Resume(std::uint32_t raw, std::uint64_t total, SteadyClock::time_point at) {
  last_ = raw;
  lastAt_ = at;
  total_ = total;
}

}  // namespace kestrel::collector
