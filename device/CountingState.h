#pragma once
// Whether counting is shown as running, and whether the settings may be
// changed, as every front end derives them from the device state.
#include <cstdint>

#include "common/DeviceState.h"

namespace kestrel::device {

// Counting is shown as running: switched on and, in the START-STOP period,
// with its gate running too. In a timed period the gate plays no part.
constexpr bool CountingState(const DeviceState& state) {
  if (state.countPeriod == CountPeriod::StartStop)
    return state.countingOn != 0 && state.startStopRunning != 0;
  return state.countingOn != 0;
}

// The settings may be changed: connected and not counting. Applying sends
// the counting bit clear, so it must not be offered while counting runs.
constexpr bool SettingsEditable(const DeviceState& state, std::int32_t connected) {
  return connected != 0 && !CountingState(state);
}

}  // namespace kestrel::device
