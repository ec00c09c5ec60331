#pragma once
// The pulses the store counted since local midnight, read once at start into
// the status page's day totals; from then on the records add to them.
#include <string>

#include "collector/status/DeviceActivity.h"

namespace kestrel::collector {

// False and why when the store cannot be read.
bool SeedTodayFromStore(const std::string& storePath, WallClock::time_point now, DeviceActivity& activity,
                        std::string& error);

}  // namespace kestrel::collector
