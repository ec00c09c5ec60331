#pragma once
// The words people type for device settings on the command lines of
// kestrelctl and kestrel-sim, read the same way in both tools: periods
// ("start-stop", "0.1", "1", "10"), chatter filters ("off", 4 to 20 ms),
// input modes ("off", "rise", "fall") and the inputs they apply to ("DI3" or
// "3", and "all"). Letters may be in any case.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrel {

// The period words by their CountPeriod code.
inline constexpr std::array<const char*, 4> kCountPeriodWords{"start-stop", "0.1", "1", "10"};

// A CountPeriod code.
std::optional<std::int32_t> CountPeriodFromWord(std::string_view word);

// A chatter code: 0 for "off", else the milliseconds (4 to 20).
std::optional<std::int32_t> ChatterCodeFromWord(std::string_view word);

// One input's setting: switched off, or counting on an Edge.
struct InputMode {
  bool enabled = false;
  std::int32_t edge = 0;
};
std::optional<InputMode> InputModeFromWord(std::string_view word);

// "INPUTS=VALUE": the inputs meant (bit 0 = DI1) and the value text. INPUTS
// is "DIn" or "n" with n from 1 to 8, or "all".
struct InputAssignment {
  std::uint8_t inputs = 0;
  std::string_view value;
};
std::optional<InputAssignment> SplitInputAssignment(std::string_view text);

// A whole decimal number of digits only (no sign, no blanks).
std::optional<std::uint64_t> DecimalFromWord(std::string_view word);

}  // namespace kestrel
