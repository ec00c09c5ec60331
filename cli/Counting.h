#pragma once
#include "device/DeviceState.h"

namespace kestrel::cli {

// Counting as the window shows it ("PULSE COUNT ON"): switched on and, in the
// START-STOP period, with the gate running as well. Settings may be applied
// only while this is false.
inline bool CountingRuns(const DeviceState& state) {
  return state.countingOn != 0 && (state.countPeriod != 0 || state.startStopRunning != 0);
}

}  // namespace kestrel::cli
