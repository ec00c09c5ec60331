#include "collector/DevicePoller.h"

#include <sys/socket.h>

#include <algorithm>
#include <random>
#include <system_error>
#include <utility>

#include "collector/Counts.h"
#include "collector/Failure.h"
#include "device/CommandSet.h"
#include "device/Connect.h"
#include "common/ModelTable.h"

namespace kestrel::collector {

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

// One connection's worth of core objects, as the window holds them: a state
// record, a channel and the command set over them.
struct Link {
  explicit Link(const DeviceTarget& target, const PollTimings& timings)
      : channel(state, timings.channel), commands(state, channel, messages) {
    state.protocolFamily = ProtocolFamily::Unknown;
    state.localAddress = target.localAddress;
  }
  DeviceState state;
  MessageKeeper messages;
  net::CommandChannel channel;
  device::CommandSet commands;
};

DeviceIdentity IdentityOf(const DeviceRef& device, const DeviceState& state) {
  DeviceIdentity id;
  id.device = device;
  id.modelIndex = state.modelIndex;
  id.model = ModelRowAt(state.modelIndex).displayName;
  id.unit = state.unitId;
  id.productCode = std::string(state.productCode.data(), state.productCode.size());
  id.counting = state.countingOn != 0;
  id.countPeriod = state.countPeriod;
  id.chatterCode = state.chatterCode;
  id.inputCount = CurrentInputCount(state);
  for (std::int32_t k = 0; k < id.inputCount; ++k) {
    id.enabled[k] = state.inputs[k].enabled != 0;
    id.edge[k] = state.inputs[k].edge;
  }
  return id;
}

// Reads the counters of the enabled inputs into `raw`; false at the first
// failure (its message is in the link's keeper).
bool ReadCounters(Link& link, std::array<std::optional<std::uint32_t>, kMaxInputs>& raw) {
  const std::int32_t inputs = CurrentInputCount(link.state);
  for (std::int32_t k = 0; k < inputs; ++k) {
    if (link.state.inputs[k].enabled == 0) continue;
    if (Failed(link.commands.ReadCount(k))) return false;
    raw[k] = link.state.inputs[k].count;
  }
  return true;
}

bool Connect(Link& link, const DeviceTarget& target, const PollTimings& timings) {
  return device::ConnectDevice(link.commands, target.device.address,
                               std::to_string(target.device.port),
                               timings.connect) == device::ConnectResult::Connected;
}

milliseconds RandomBetween(milliseconds low, milliseconds high) {
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::int64_t> draw(low.count(), high.count());
  return milliseconds(draw(random));
}

milliseconds Jittered(milliseconds wait) { return RandomBetween(wait / 2, wait); }

}  // namespace

// The poller's sockets, as its channel opens and closes them, so that a stop
// from another thread can shut down the open ones: a receive blocked on a
// silent device returns at once instead of after its time-out. The lock
// keeps a socket from being closed (and its number reused) while it is
// shut down.
class SocketWaker final : public net::SocketObserver {
 public:
  void Opened(net::SocketHandle socket) override {
    std::lock_guard lock(mutex_);
    open_.push_back(socket);
    if (stopped_) Cut(socket);  // a stop came while it was being made
  }
  void Closing(net::SocketHandle socket) override {
    std::lock_guard lock(mutex_);
    open_.erase(std::remove(open_.begin(), open_.end(), socket), open_.end());
  }
  void Stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    for (const net::SocketHandle socket : open_) Cut(socket);
  }

 private:
  static void Cut(net::SocketHandle socket) { ::shutdown(static_cast<int>(socket), SHUT_RDWR); }

  std::mutex mutex_;
  std::vector<net::SocketHandle> open_;
  bool stopped_ = false;
};

DevicePoller::DevicePoller(DeviceTarget target, PollTimings timings, RecordSink& sink,
                           std::optional<ResumePoint> resume)
    : target_(std::move(target)), timings_(timings), sink_(sink), resume_(std::move(resume)),
      waker_(std::make_unique<SocketWaker>()) {
  snapshot_.device = target_.device;
}

DevicePoller::~DevicePoller() {
  RequestStop();
  Join();
}

void DevicePoller::Start() { thread_ = std::thread([this] { Run(); }); }

void DevicePoller::RequestStop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  waker_->Stop();
}

void DevicePoller::Join() {
  if (thread_.joinable()) thread_.join();
}

DeviceSnapshot DevicePoller::Snapshot() const {
  std::lock_guard lock(mutex_);
  return snapshot_;
}

bool DevicePoller::SleepUntil(SteadyClock::time_point deadline) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_until(lock, deadline, [this] { return stop_.load(); });
}

void DevicePoller::Update(const std::function<void(DeviceSnapshot&)>& change) {
  std::lock_guard lock(mutex_);
  change(snapshot_);
}

std::optional<WallClock::time_point> DevicePoller::TakeUpStoredCounts(const DeviceIdentity& identity,
                                                                     DeviceCounts& counts) {
  const ResumePoint point = *resume_;
  resume_.reset();
  if (!SameCounter(point, identity)) {
    sink_.OnEvent(Event{EventKind::StateDiscarded, target_.device, WallClock::now(), {},
                        DiscardReason(point, identity), {}, 0, identity, {}});
    return std::nullopt;
  }
  // The tracks count on the steady clock; a stored time becomes the steady
  // instant as long ago. A stored time ahead of the clock (it was set back)
  // counts as now, so no span is ever negative.
  const WallClock::time_point wallNow = WallClock::now();
  const SteadyClock::time_point steadyNow = SteadyClock::now();
  const auto steadyOf = [&](WallClock::time_point t) {
    return steadyNow - duration_cast<SteadyClock::duration>(wallNow - std::min(t, wallNow));
  };
  for (std::size_t k = 0; k < point.inputs.size(); ++k) {
    const ResumeInput& input = point.inputs[k];
    if (input.present) counts.tracks[k].Resume(input.raw, input.total, steadyOf(input.time));
  }
  return std::min(point.time, wallNow);
}

void DevicePoller::Run() {
  const DeviceRef& device = target_.device;
  Link link(target_, timings_);
  link.channel.SetSocketObserver(waker_.get());
  DeviceCounts counts;
  std::optional<DeviceIdentity> identity;
  std::optional<SteadyClock::time_point> lastGood;  // the last good sample
  bool gap = false;
  // Until the first sample: when the stored sample it continues was read.
  std::optional<WallClock::time_point> resumedFrom;
  milliseconds backoff = timings_.backoffFirst;

  // Records a failure, closes the connection and waits before the next
  // attempt; false when a stop came during the wait.
  const auto fail = [&](bool wasConnected) {
    if (stop_) {
      // The stop cut the exchange short: the end of the connection, not a
      // failure of the device.
      link.messages.Take();
      link.channel.CloseSlot(net::Slot::MainSlot);
      const WallClock::time_point now = WallClock::now();
      if (wasConnected) sink_.OnEvent(Event{EventKind::Disconnect, device, now, {}, {}, {}, 0, identity, {}});
      sink_.OnStatus(StatusChange{device, now, DeviceStatus::Down, identity, {}, {}});
      Update([](DeviceSnapshot& s) { s.status = DeviceStatus::Down; });
      return false;
    }
    const std::string message = link.messages.Take();
    const FailureCause cause = TakeFailure(link.state);
    const FailureKind kind = cause.kind;
    const milliseconds wait = Jittered(backoff);
    backoff = std::min(backoff * 2, timings_.backoffMax);
    gap = true;
    link.channel.CloseSlot(net::Slot::MainSlot);
    const WallClock::time_point now = WallClock::now();
    Update([&](DeviceSnapshot& s) {
      s.status = DeviceStatus::Down;
      s.lastFailure = kind;
      s.lastError = message;
      ++s.failures[kind];
    });
    Event failure{EventKind::Failure, device, now, kind, message, wait, 0, identity, {},
                  cause.step, cause.errorNumber};
    sink_.OnEvent(failure);
    if (wasConnected) sink_.OnEvent(Event{EventKind::Disconnect, device, now, {}, {}, {}, 0, identity, {}});
    sink_.OnStatus(StatusChange{device, now, DeviceStatus::Down, identity, kind, message});
    return SleepUntil(SteadyClock::now() + wait);
  };

  // Devices started together begin at random points of their first
  // interval, so that a whole fleet is not polled in the same instant.
  const milliseconds spread = std::min(target_.interval, timings_.startSpreadMax);
  if (spread > 0ms && !SleepUntil(SteadyClock::now() + RandomBetween(0ms, spread))) return;

  while (!stop_) {
    sink_.OnStatus(StatusChange{device, WallClock::now(), DeviceStatus::Connecting, identity, {}, {}});
    if (!Connect(link, target_, timings_)) {
      if (!fail(false)) break;
      continue;
    }
    backoff = timings_.backoffFirst;
    DeviceIdentity now = IdentityOf(device, link.state);
    const bool changed = identity && *identity != now;
    identity = now;
    const WallClock::time_point wall = WallClock::now();
    Update([&](DeviceSnapshot& s) {
      s.status = DeviceStatus::Up;
      s.identity = identity;
      ++s.connects;
    });
    sink_.OnEvent(Event{EventKind::Connect, device, wall, {}, {}, {}, 0, identity, {}});
    if (changed) sink_.OnEvent(Event{EventKind::SettingsChanged, device, wall, {}, {}, {}, 0, identity, {}});
    sink_.OnStatus(StatusChange{device, wall, DeviceStatus::Up, identity, {}, {}});
    if (resume_) {
      resumedFrom = TakeUpStoredCounts(now, counts);
      if (resumedFrom) {
        gap = true;
        lastGood = SteadyClock::now() - duration_cast<SteadyClock::duration>(WallClock::now() - *resumedFrom);
      }
    }

    // Fixed-rate schedule: slot n is start + n * interval, whatever each poll
    // took, so the readings do not drift.
    SteadyClock::time_point slot = SteadyClock::now();
    bool connected = true;
    while (!stop_) {
      std::array<std::optional<std::uint32_t>, kMaxInputs> raw{};
      const SteadyClock::time_point begun = SteadyClock::now();
      if (!ReadCounters(link, raw)) {
        connected = false;
        fail(true);  // a stop during its wait is seen by the outer loop
        break;
      }
      const SteadyClock::time_point at = SteadyClock::now();
      Sample sample;
      sample.device = device;
      sample.time = WallClock::now();
      sample.lateness = duration_cast<milliseconds>(at - slot);
      sample.pollDuration = std::chrono::duration_cast<std::chrono::microseconds>(at - begun);
      if (gap && lastGood) sample.gap = duration_cast<milliseconds>(at - *lastGood);
      gap = false;
      sample.resumed = std::exchange(resumedFrom, std::nullopt);
      lastGood = at;
      sample.inputCount = CurrentInputCount(link.state);
      for (std::size_t k = 0; k < raw.size(); ++k)
        if (raw[k]) sample.inputs[k] = counts.tracks[k].Update(*raw[k], at);
      Update([&](DeviceSnapshot& s) {
        s.lastSample = sample;
        ++s.samples;
      });
      sink_.OnSample(sample);

      slot += target_.interval;
      const SteadyClock::time_point after = SteadyClock::now();
      if (slot <= after) {
        // The poll overran: go on at the next slot still ahead, and say how
        // many were passed over.
        const auto behind = (after - slot) / target_.interval + 1;
        slot += behind * target_.interval;
        const auto skipped = static_cast<std::uint64_t>(behind);
        Update([&](DeviceSnapshot& s) { s.skippedSlots += skipped; });
        sink_.OnEvent(Event{EventKind::Skip, device, WallClock::now(), {}, {}, {}, skipped, {}, {}});
      }
      if (!SleepUntil(slot)) break;
    }
    if (connected) {
      // Stopping: the connection is closed, the device keeps counting.
      device::DisconnectDevice(link.commands);
      sink_.OnEvent(Event{EventKind::Disconnect, device, WallClock::now(), {}, {}, {}, 0, identity, {}});
      sink_.OnStatus(StatusChange{device, WallClock::now(), DeviceStatus::Down, identity, {}, {}});
      Update([](DeviceSnapshot& s) { s.status = DeviceStatus::Down; });
    }
  }
}

AddResult PollerRegistry::TryAdd(const DeviceTarget& target, const PollTimings& timings, RecordSink& sink,
                                 std::optional<ResumePoint> resume) {
  std::lock_guard lock(mutex_);
  auto key = std::make_pair(target.device.address, target.device.port);
  if (pollers_.count(key) != 0) return AddResult::AlreadyPolled;
  if (pollers_.size() >= capacity_) return AddResult::Full;
  auto poller = std::make_unique<DevicePoller>(target, timings, sink, std::move(resume));
  try {
    poller->Start();
  } catch (const std::system_error&) {
    return AddResult::NoThread;  // out of threads: this device goes unpolled, the rest go on
  }
  pollers_.emplace(std::move(key), std::move(poller));
  return AddResult::Added;
}

DevicePoller* PollerRegistry::Find(const std::string& address, std::uint16_t port) const {
  std::lock_guard lock(mutex_);
  const auto it = pollers_.find({address, port});
  return it == pollers_.end() ? nullptr : it->second.get();
}

std::size_t PollerRegistry::size() const {
  std::lock_guard lock(mutex_);
  return pollers_.size();
}

void PollerRegistry::StopAll() {
  std::lock_guard lock(mutex_);
  // Every poller is asked first, so they all wind down together.
  for (auto& [key, poller] : pollers_) poller->RequestStop();
  for (auto& [key, poller] : pollers_) poller->Join();
}

std::vector<DeviceSnapshot> PollerRegistry::Snapshots() const {
  std::lock_guard lock(mutex_);
  std::vector<DeviceSnapshot> all;
  all.reserve(pollers_.size());
  for (const auto& [key, poller] : pollers_) all.push_back(poller->Snapshot());
  return all;
}

ProbeOutcome ProbeOnce(const DeviceTarget& target, const PollTimings& timings) {
  const SteadyClock::time_point start = SteadyClock::now();
  ProbeOutcome outcome;
  Link link(target, timings);
  const auto finish = [&](bool ok) {
    outcome.ok = ok;
    if (!ok) {
      outcome.message = link.messages.Take();
      outcome.failure = TakeFailure(link.state).kind;
    }
    link.channel.CloseSlot(net::Slot::MainSlot);
    outcome.duration = duration_cast<milliseconds>(SteadyClock::now() - start);
    return outcome;
  };
  if (!Connect(link, target, timings)) return finish(false);
  outcome.identity = IdentityOf(target.device, link.state);
  std::array<std::optional<std::uint32_t>, kMaxInputs> raw{};
  if (!ReadCounters(link, raw)) return finish(false);
  Sample sample;
  sample.device = target.device;
  sample.time = WallClock::now();
  sample.inputCount = CurrentInputCount(link.state);
  for (std::size_t k = 0; k < raw.size(); ++k)
    if (raw[k]) sample.inputs[k] = CounterTrack{}.Update(*raw[k], SteadyClock::now());
  outcome.sample = sample;
  return finish(true);
}

}  // namespace kestrel::collector
