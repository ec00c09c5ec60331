#pragma once
// What the status page tells about each device beyond its poller's
// snapshot: since when it is up or down, its recent events, and the pulses
// of each input since local midnight. Fed from the records like the other
// outputs, so the page never asks a device or the store while it renders.
#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "collector/RecordSink.h"

namespace kestrel::collector {

// One thing that happened to a device, as the device page lists it. The
// same thing again right after (a device that keeps failing the same way)
// counts up `repeats` instead of pushing older events out.
struct RecentEvent {
  WallClock::time_point time;  // the first time
  WallClock::time_point last;  // the latest repeat
  std::uint64_t repeats = 1;
  std::string kind;     // "connect", "failure", "wrap", "gap", ...
  std::string text;     // English, ours
  std::string message;  // the window's text of a failure, else empty
};

// The pulses of each input since the local midnight `dayStart`.
struct DayPulses {
  std::int64_t dayStart = 0;  // seconds since 1970
  std::array<std::optional<std::uint64_t>, kMaxInputs> inputs{};
};

struct ActivitySummary {
  std::optional<WallClock::time_point> stateSince;  // last change between up and not up
  DayPulses today;
};

// Local midnight at or before `t` (the process's time zone).
std::int64_t LocalDayStart(std::int64_t t);

class DeviceActivity final : public RecordSink {
 public:
  static constexpr std::size_t kRecentEvents = 40;

  // What the store counted today before the collector started: taken up
  // before any record arrives, so nothing is counted twice.
  void SeedToday(const std::string& device, int input, std::uint64_t pulses, std::int64_t dayStart);

  void OnSample(const Sample& sample) override;
  void OnEvent(const Event& event) override;
  void OnStatus(const StatusChange& change) override;

  // Every device's summary, by name, under one lock.
  std::map<std::string, ActivitySummary> Summaries() const;
  // One device's summary: empty when no record of it came yet.
  ActivitySummary Summary(const std::string& device) const;
  // The device's recent events, newest first.
  std::vector<RecentEvent> Events(const std::string& device) const;

 private:
  struct Device {
    ActivitySummary summary;
    bool up = false;
    std::deque<RecentEvent> events;  // oldest first, at most kRecentEvents
  };
  void Add(Device& d, WallClock::time_point time, std::string kind, std::string text, std::string message = {});

  mutable std::mutex mutex_;
  std::map<std::string, Device> devices_;
};

}  // namespace kestrel::collector
