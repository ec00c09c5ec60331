#pragma once
// One device, polled from an event loop shared with many others: the connect
// steps, then the counters of the enabled inputs at every slot of a
// fixed-rate schedule; after a failure the connection is closed and the
// connect steps are retried with backoff, for ever, until the poller is
// stopped. Every wait is a suspension on the loop, never a blocked thread.
#include <condition_variable>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "collector/EventLoop.h"
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

class DevicePoller {
 public:
  // `resume`: where the store left this device's counts, taken up at the
  // first connect when the device is still the same counter.
  DevicePoller(DeviceTarget target, PollTimings timings, RecordSink& sink,
               std::optional<ResumePoint> resume = std::nullopt);
  ~DevicePoller();  // stops and joins
  DevicePoller(const DevicePoller&) = delete;
  DevicePoller& operator=(const DevicePoller&) = delete;

  // Starts on a loop of its own (a poller on its own); throws
  // std::system_error when the loop's thread cannot start.
  void Start();
  // Starts on `loop`, which outlives the poller's run.
  void StartOn(EventLoop& loop);
  // Asks the poller to end; an exchange in progress ends at once, and the
  // connection is closed (with a Disconnect event) before it ends. Does not
  // wait.
  void RequestStop();
  // Waits until the poller has ended (at once if it never started).
  void Join();

  const DeviceTarget& target() const { return target_; }
  DeviceSnapshot Snapshot() const;

 private:
  Task<> Run();
  // Sleeps until `deadline` or a stop request; false on a stop request.
  Task<bool> SleepUntil(SteadyClock::time_point deadline);
  void Update(const std::function<void(DeviceSnapshot&)>& change);
  // At the first connect: continues the stored counts in `counts`, or says
  // why not. Returns when the stored sample was read, when taken up.
  std::optional<WallClock::time_point> TakeUpStoredCounts(const DeviceIdentity& identity,
                                                           DeviceCounts& counts);

  const DeviceTarget target_;
  const PollTimings timings_;
  RecordSink& sink_;
  std::optional<ResumePoint> resume_;  // used on the loop's thread only
  Waiter waiter_;                      // the poller's place in its loop
  const std::uint64_t id_;
  EventLoop* loop_ = nullptr;
  std::unique_ptr<EventLoop> ownLoop_;  // a poller on its own
  mutable std::mutex mutex_;
  std::condition_variable ended_;
  bool started_ = false;
  bool stopAsked_ = false;
  bool finished_ = false;
  DeviceSnapshot snapshot_;
};

enum class AddResult {
  Added,
  AlreadyPolled,  // never two connections to one device
  Full,           // as many pollers as the process limits allow
  NoThread,       // no event loop could be started
};

// How many event loops a registry runs its pollers on: one per hardware
// thread, at most two (the outputs and the store need the rest).
std::size_t DefaultLoopCount();

// The running pollers, found by device address and port.
class PollerRegistry {
 public:
  // `capacity`: the most pollers the process limits allow; `loops`: how
  // many event loops share them.
  explicit PollerRegistry(std::size_t capacity = SIZE_MAX, std::size_t loops = DefaultLoopCount())
      : capacity_(capacity), loopCount_(loops == 0 ? 1 : loops) {}
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
  const std::size_t loopCount_;
  mutable std::mutex mutex_;
  // Made at the first poller; they outlive the pollers (declared first).
  std::vector<std::unique_ptr<EventLoop>> loops_;
  std::size_t nextLoop_ = 0;
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
