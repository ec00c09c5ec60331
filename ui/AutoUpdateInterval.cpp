#include "ui/AutoUpdateInterval.h"

#include <charconv>
#include <cmath>

#include "common/Blank.h"
#include "framework/TimerPeriod.h"

namespace kestrel::ui {

// std::from_chars instead of strtod: the window's toolkit switches the
// process to the operator's locale, where the decimal point may be a comma.
double IntervalSecondsOf(const std::string& text) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end && IsBlank(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  // A second sign is not part of a number.
  if (p < end && (*p == '+' || *p == '-')) return 0.0;
  double value = 0.0;
  const auto [rest, error] = std::from_chars(p, end, value, std::chars_format::general);
  if (error != std::errc() || !std::isfinite(value)) return 0.0;
  return negative ? -value : value;
}

std::optional<std::uint32_t> AutoUpdatePeriodMs(const std::string& intervalText) {
  const double seconds = IntervalSecondsOf(intervalText);
  if (seconds <= 0.0) return std::nullopt;
  const double periodMs = std::trunc(seconds) * 1000.0;
  if (periodMs > fw::kTimerMaximumMs) return fw::kTimerMaximumMs;
  return static_cast<std::uint32_t>(periodMs);
}

}  // namespace kestrel::ui
