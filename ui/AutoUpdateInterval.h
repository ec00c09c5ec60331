#pragma once
// The auto-update period from the interval text the operator typed, in
// whole seconds.
#include <cstdint>
#include <optional>
#include <string>

namespace kestrel::ui {

// The text read as a decimal floating-point number (leading white space, an
// optional sign, digits with an optional fraction and exponent, reading
// stopping at the first character that does not fit), independent of the
// process locale. Text that does not start with a number reads as 0, and so
// does text that gives no finite number (infinity, not-a-number, a value
// beyond the floating-point range).
double IntervalSecondsOf(const std::string& text);

// The timer period in milliseconds: the seconds truncated towards zero and
// multiplied by 1000, held at 2^31 - 1 ms, the longest period a timer keeps
// (a sub-second interval gives 0, which the timer runs at its shortest).
// Nothing when the interval reads as 0 or as negative: then no timer is to
// run.
std::optional<std::uint32_t> AutoUpdatePeriodMs(const std::string& intervalText);

}  // namespace kestrel::ui
