#pragma once
// Positions of the chatter filter list and the filter codes they stand for.
#include <cstdint>

namespace kestrel::ui {

// The chatter list shows "off" at 0 and i + 3 ms at i >= 1.
constexpr int ChatterIndexOf(std::int32_t chatterCode) {
  return chatterCode == 0 ? 0 : chatterCode - 3;
}
constexpr std::int32_t ChatterCodeOf(int index) { return index == 0 ? 0 : index + 3; }

}  // namespace kestrel::ui
