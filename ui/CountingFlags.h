#pragma once
// Flags derived from the device state that decide which controls are enabled.
#include <cstdint>

#include "device/DeviceState.h"

namespace kestrel {

// Counting is shown as running: switched on and, in the START-STOP period,
// with its gate running too.
constexpr bool CountingState(const DeviceState& state) {
  if (state.countPeriod == 0) return state.countingOn != 0 && state.startStopRunning != 0;
  return state.countingOn != 0;
}

// The settings may be changed: connected and not counting.
constexpr bool SettingsEditable(const DeviceState& state, std::int32_t connected) {
  return connected != 0 && !CountingState(state);
}

// The chatter list shows "off" at 0 and i + 3 ms at i >= 1.
constexpr int ChatterIndexOf(std::int32_t chatterCode) {
  return chatterCode == 0 ? 0 : chatterCode - 3;
}
constexpr std::int32_t ChatterCodeOf(int index) { return index == 0 ? 0 : index + 3; }

}  // namespace kestrel
