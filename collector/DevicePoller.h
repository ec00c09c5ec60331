#pragma once
// One device, polled on a thread of its own: the connect steps, then the
// counters of the enabled inputs at every slot of a fixed-rate schedule; after
// a failure the connection is closed and the connect steps are retried with
// backoff, for ever, until the poller is stopped.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "collector/RecordSink.h"
#include "collector/Records.h"
#include "collector/ResumePoint.h"
#include "collector/Target.h"

namespace kestrel::collector {

struct DeviceCounts;

// What a poller knows now, for answering questions without touching the
// device (a metrics scrape, a probe of a configured device).
struct DeviceSnapshot {
  DeviceRef device;
  DeviceStatus status = DeviceStatus::Connecting;
  std::optional<DeviceIdentity> identity;  // the last one known
  std::optional<Sample> lastSample;        // the last good one
  FailureKind lastFailure = FailureKind::None;
  std::string lastError;                   // the window's text of the last failure
  std::map<FailureKind, std::uint64_t> failures;  // by kind, since start
  std::uint64_t connects = 0;   // successful connects; reconnects = connects - 1
  std::uint64_t samples = 0;
  std::uint64_t skippedSlots = 0;
};

class SocketWaker;

class DevicePoller {
 public:
  // `resume`: where the store left this device's counts, taken up at the
  // first connect when the device is still the same counter.
  DevicePoller(DeviceTarget target, PollTimings timings, RecordSink& sink,
               std::optional<ResumePoint> resume = std::nullopt);
  ~DevicePoller();  // stops and joins
  DevicePoller(const DevicePoller&) = delete;
  DevicePoller& operator=(const DevicePoller&) = delete;

  void Start();
  // Asks the thread to end; an exchange in progress ends at once (its
  // socket is shut down), and the thread closes its connection (with a
  // Disconnect event) before it ends. Does not wait.
  void RequestStop();
  void Join();

  const DeviceTarget& target() const { return target_; }
  DeviceSnapshot Snapshot() const;

 private:
  void Run();
  // Sleeps until `deadline` or a stop request; false on a stop request.
  bool SleepUntil(SteadyClock::time_point deadline);
  void Update(const std::function<void(DeviceSnapshot&)>& change);
  // At the first connect: continues the stored counts in `counts`, or says
  // why not. Returns when the stored sample was read, when taken up.
  std::optional<WallClock::time_point> TakeUpStoredCounts(const DeviceIdentity& identity,
                                                           DeviceCounts& counts);

  const DeviceTarget target_;
  const PollTimings timings_;
  RecordSink& sink_;
  std::optional<ResumePoint> resume_;  // used by the poller's thread only
  const std::unique_ptr<SocketWaker> waker_;  // the connection a stop cuts short
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  DeviceSnapshot snapshot_;
};

enum class AddResult {
  Added,
  AlreadyPolled,  // never two connections to one device
  Full,           // as many pollers as the process limits allow
  NoThread,       // its thread could not be started
};

// The running pollers, found by device address and port.
class PollerRegistry {
 public:
  // `capacity`: the most pollers the process limits allow.
  explicit PollerRegistry(std::size_t capacity = SIZE_MAX) : capacity_(capacity) {}
  // Adds and starts a poller; anything but Added means nothing was started.
  AddResult TryAdd(const DeviceTarget& target, const PollTimings& timings, RecordSink& sink,
                   std::optional<ResumePoint> resume = std::nullopt);
  // TryAdd, true when added.
  bool Add(const DeviceTarget& target, const PollTimings& timings, RecordSink& sink,
           std::optional<ResumePoint> resume = std::nullopt) {
    return TryAdd(target, timings, sink, std::move(resume)) == AddResult::Added;
  }
  DevicePoller* Find(const std::string& address, std::uint16_t port) const;
  std::size_t size() const;
  // Stops every poller and waits for all of them.
  void StopAll();
  // A copy of every poller's snapshot.
  std::vector<DeviceSnapshot> Snapshots() const;

 private:
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, std::uint16_t>, std::unique_ptr<DevicePoller>> pollers_;
};

// The connect steps and one read of the counters for a device that is not
// polled: what a probe of an arbitrary address answers. Blocks for at most
// the time-outs of `timings` (no backoff, no retry); the connection is closed
// before it returns. The caller makes sure no two run for the same device.
struct ProbeOutcome {
  bool ok = false;
  FailureKind failure = FailureKind::None;
  std::string message;  // the window's text of the failure
  std::optional<DeviceIdentity> identity;
  std::optional<Sample> sample;  // first sample: raw values, no increase or rate
  std::chrono::milliseconds duration{0};
};
ProbeOutcome ProbeOnce(const DeviceTarget& target, const PollTimings& timings);

}  // namespace kestrel::collector
