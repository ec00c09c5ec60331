#pragma once
// What the metrics endpoint tells about each polled device, kept up to date
// from the records as they happen, so a scrape never waits for a device.
#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "collector/RecordSink.h"

namespace kestrel::collector {

// Poll times in seconds, counted into fixed buckets.
struct DurationHistogram {
  static constexpr std::array<double, 10> kBounds{0.005, 0.01, 0.025, 0.05, 0.1,
                                                  0.25,  0.5,  1,     2.5,  5};
  std::array<std::uint64_t, kBounds.size()> counts{};  // per bucket, not cumulative
  std::uint64_t count = 0;
  double sum = 0;
  void Observe(double seconds);
};

inline constexpr std::size_t kFailureKinds = 7;  // FailureKind None .. Mode

struct InputMetrics {
  bool present = false;      // in the last good sample
  bool counted = false;      // ever present: the total exists from then on
  std::uint32_t raw = 0;
  std::uint64_t total = 0;
};

struct DeviceMetrics {
  DeviceRef device;
  bool up = false;
  std::optional<DeviceIdentity> identity;
  std::array<InputMetrics, kMaxInputs> inputs{};
  std::array<std::uint64_t, kFailureKinds> failures{};  // by FailureKind
  std::uint64_t connects = 0;
  std::uint64_t skippedSlots = 0;
  DurationHistogram pollDuration;  // how long the counter reads took
  DurationHistogram pollLateness;  // from the poll's slot until its counters were in
  // Set for the answer of a one-off probe: how long it took.
  std::optional<double> probeSeconds;
};

class MetricsBook final : public RecordSink {
 public:
  void OnSample(const Sample& sample) override;
  void OnEvent(const Event& event) override;
  void OnStatus(const StatusChange& change) override;

  std::vector<DeviceMetrics> Devices() const;
  // The same into `into`, assigning over what it holds, so that its memory
  // serves again.
  void CopyDevices(std::vector<DeviceMetrics>& into) const;
  std::optional<DeviceMetrics> Find(const std::string& address, std::uint16_t port) const;

 private:
  DeviceMetrics& Entry(const DeviceRef& device);  // with mutex_ held
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, std::uint16_t>, DeviceMetrics> devices_;
};

}  // namespace kestrel::collector
