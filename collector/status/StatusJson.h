#pragma once
// The JSON the status page reads: /api/devices (every device, one row each,
// down devices first) and /api/device?name= (one device with its settings,
// counters and recent events). Times the page shows as durations ("down for
// 3 min", "last sample 0.4 s ago") are computed here, from the collector's
// clock, so a browser with a wrong clock still shows them right.
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "collector/DevicePoller.h"
#include "collector/status/DeviceActivity.h"

namespace kestrel::collector {

// Where "today" starts: local midnight, or the collector's start when it
// keeps no store and started today.
struct TodayScope {
  std::int64_t from = 0;  // seconds since 1970
  bool sinceStart = false;
};
TodayScope TodayScopeAt(WallClock::time_point now, WallClock::time_point started, bool store);

// "up", "down" (failed, including while it tries again) or "connecting"
// (not up yet, and no failure so far).
const char* StateName(const DeviceSnapshot& s);

std::string DevicesJson(std::vector<DeviceSnapshot> snapshots, const std::map<std::string, ActivitySummary>& activity,
                        WallClock::time_point now, const TodayScope& today, bool store);

std::string DeviceJson(const DeviceSnapshot& snapshot, const ActivitySummary& activity,
                       const std::vector<RecentEvent>& events, std::chrono::milliseconds interval,
                       WallClock::time_point now, const TodayScope& today, bool store);

}  // namespace kestrel::collector
