#include "collector/DevicePoller.h"

#include <algorithm>
#include <atomic>
#include <random>
#include <system_error>
#include <thread>
#include <utility>

#include "collector/Counts.h"
#include "collector/Failure.h"
#include "collector/LoopLink.h"
#include "common/ModelTable.h"
#include "device/CommandSet.h"
#include "device/CommandSteps.h"
#include "device/Connect.h"

namespace kestrel::collector {

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

// One connection's worth of core objects, as the window holds them: a state
// record, a channel and the command set over them. ProbeOnce runs the steps
// over it at once.
struct BlockingDevice {
  explicit BlockingDevice(const DeviceTarget& target, const PollTimings& timings)
      : channel(state, timings.channel), commands(state, channel, messages) {
    state.protocolFamily = ProtocolFamily::Unknown;
    state.localAddress = target.localAddress;
  }
  DeviceState state;
  MessageKeeper messages;
  net::CommandChannel channel;
  device::CommandSet commands;
};

// The same over an event loop's sockets, for a polled device.
struct LoopDevice {
  LoopDevice(const DeviceTarget& target, const PollTimings& timings, EventLoop& loop, Waiter& waiter)
      : link(loop, waiter, state, timings.channel) {
    state.protocolFamily = ProtocolFamily::Unknown;
    state.localAddress = target.localAddress;
  }
  device::Session session() { return {state, link, messages}; }
  DeviceState state;
  MessageKeeper messages;
  LoopLink link;
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
// failure (its message is in the session's front end).
Task<bool> ReadCounters(device::Session s, std::array<std::optional<std::uint32_t>, kMaxInputs>& raw) {
  const std::int32_t inputs = CurrentInputCount(s.state);
  for (std::int32_t k = 0; k < inputs; ++k) {
    if (s.state.inputs[k].enabled == 0) continue;
    const Status read = co_await device::steps::ReadCount(s, k);
    if (Failed(read)) co_return false;
    raw[k] = s.state.inputs[k].count;
  }
  co_return true;
}

Task<bool> Connect(device::Session s, const DeviceTarget& target, const PollTimings& timings) {
  const device::ConnectResult result = co_await device::ConnectSteps(
      s, target.device.address, std::to_string(target.device.port), timings.connect);
  co_return result == device::ConnectResult::Connected;
}

// Pollers are told apart in their loop by a number of their own.
std::uint64_t NextPollerId() {
  static std::atomic<std::uint64_t> next{1};
  return next++;
}

milliseconds RandomBetween(milliseconds low, milliseconds high) {
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::int64_t> draw(low.count(), high.count());
  return milliseconds(draw(random));
}

milliseconds Jittered(milliseconds wait) { return RandomBetween(wait / 2, wait); }

}  // namespace

DevicePoller::DevicePoller(DeviceTarget target, PollTimings timings, RecordSink& sink,
                           std::optional<ResumePoint> resume)
    : target_(std::move(target)), timings_(timings), sink_(sink), resume_(std::move(resume)),
      id_(NextPollerId()) {
  snapshot_.device = target_.device;
}

DevicePoller::~DevicePoller() {
  RequestStop();
  Join();
}

void DevicePoller::Start() {
  ownLoop_ = std::make_unique<EventLoop>();
  StartOn(*ownLoop_);
}

void DevicePoller::StartOn(EventLoop& loop) {
  {
    std::lock_guard lock(mutex_);
    loop_ = &loop;
    started_ = true;
  }
  loop.Adopt(id_, waiter_, [this] { return Run(); }, [this] {
    std::lock_guard lock(mutex_);
    finished_ = true;
    ended_.notify_all();
  });
}

void DevicePoller::RequestStop() {
  {
    std::lock_guard lock(mutex_);
    // Once only: a stop posted after the end would reach a poller that may
    // be gone.
    if (!started_ || stopAsked_ || finished_) return;
    stopAsked_ = true;
  }
  loop_->Stop(id_);
}

void DevicePoller::Join() {
  {
    std::unique_lock lock(mutex_);
    ended_.wait(lock, [this] { return !started_ || finished_; });
  }
  ownLoop_.reset();
}

DeviceSnapshot DevicePoller::Snapshot() const {
  std::lock_guard lock(mutex_);
  return snapshot_;
}

Task<bool> DevicePoller::SleepUntil(SteadyClock::time_point deadline) {
  const WaitResult r = co_await loop_->Wait(waiter_, Interest::None, deadline);
  co_return r != WaitResult::Stopped;
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

Task<> DevicePoller::Run() {
  const DeviceRef& device = target_.device;
  LoopDevice link(target_, timings_, *loop_, waiter_);
  const bool& stopped = waiter_.stopped;
  DeviceCounts counts;
  std::optional<DeviceIdentity> identity;
  std::optional<SteadyClock::time_point> lastGood;  // the last good sample
  bool gap = false;
  // Until the first sample: when the stored sample it continues was read.
  std::optional<WallClock::time_point> resumedFrom;
  milliseconds backoff = timings_.backoffFirst;

  // Records a failure and closes the connection; gives the wait before the
  // next attempt, nothing when stopping.
  const auto fail = [&](bool wasConnected) -> std::optional<milliseconds> {
    if (stopped) {
      // The stop cut the exchange short: the end of the connection, not a
      // failure of the device.
      link.messages.Take();
      link.link.CloseSlot(net::Slot::MainSlot);
      const WallClock::time_point now = WallClock::now();
      if (wasConnected) sink_.OnEvent(Event{EventKind::Disconnect, device, now, {}, {}, {}, 0, identity, {}});
      sink_.OnStatus(StatusChange{device, now, DeviceStatus::Down, identity, {}, {}});
      Update([](DeviceSnapshot& s) { s.status = DeviceStatus::Down; });
      return std::nullopt;
    }
    const std::string message = link.messages.Take();
    const FailureCause cause = TakeFailure(link.state);
    const FailureKind kind = cause.kind;
    const milliseconds wait = Jittered(backoff);
    backoff = std::min(backoff * 2, timings_.backoffMax);
    gap = true;
    link.link.CloseSlot(net::Slot::MainSlot);
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
    return wait;
  };

  // Devices started together begin at random points of their first
  // interval, so that a whole fleet is not polled in the same instant.
  const milliseconds spread = std::min(target_.interval, timings_.startSpreadMax);
  if (spread > 0ms) {
    const bool slept = co_await SleepUntil(SteadyClock::now() + RandomBetween(0ms, spread));
    if (!slept) co_return;
  }

  while (!stopped) {
    sink_.OnStatus(StatusChange{device, WallClock::now(), DeviceStatus::Connecting, identity, {}, {}});
    const bool connectedNow = co_await Connect(link.session(), target_, timings_);
    if (!connectedNow) {
      const std::optional<milliseconds> wait = fail(false);
      if (!wait) break;
      const bool slept = co_await SleepUntil(SteadyClock::now() + *wait);
      if (!slept) break;
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
    while (!stopped) {
      std::array<std::optional<std::uint32_t>, kMaxInputs> raw{};
      const SteadyClock::time_point begun = SteadyClock::now();
      const bool read = co_await ReadCounters(link.session(), raw);
      if (!read) {
        connected = false;
        // A stop during the wait is seen by the outer loop.
        if (const std::optional<milliseconds> wait = fail(true))
          co_await SleepUntil(SteadyClock::now() + *wait);
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
      const bool slept = co_await SleepUntil(slot);
      if (!slept) break;
    }
    if (connected) {
      // Stopping: the connection is closed, the device keeps counting.
      device::Disconnect(link.session());
      sink_.OnEvent(Event{EventKind::Disconnect, device, WallClock::now(), {}, {}, {}, 0, identity, {}});
      sink_.OnStatus(StatusChange{device, WallClock::now(), DeviceStatus::Down, identity, {}, {}});
      Update([](DeviceSnapshot& s) { s.status = DeviceStatus::Down; });
    }
  }
}

std::size_t DefaultLoopCount() {
  return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 2);
}

AddResult PollerRegistry::TryAdd(const DeviceTarget& target, const PollTimings& timings, RecordSink& sink,
                                 std::optional<ResumePoint> resume) {
  std::lock_guard lock(mutex_);
  auto key = std::make_pair(target.device.address, target.device.port);
  if (pollers_.count(key) != 0) return AddResult::AlreadyPolled;
  if (pollers_.size() >= capacity_) return AddResult::Full;
  try {
    while (loops_.size() < loopCount_) loops_.push_back(std::make_unique<EventLoop>());
  } catch (const std::system_error&) {
    // Out of threads or descriptors: go on with the loops there are.
    if (loops_.empty()) return AddResult::NoThread;
  }
  auto poller = std::make_unique<DevicePoller>(target, timings, sink, std::move(resume));
  poller->StartOn(*loops_[nextLoop_++ % loops_.size()]);
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
  BlockingDevice link(target, timings);
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
  if (!RunToEnd(Connect(link.commands.session(), target, timings))) return finish(false);
  outcome.identity = IdentityOf(target.device, link.state);
  std::array<std::optional<std::uint32_t>, kMaxInputs> raw{};
  if (!RunToEnd(ReadCounters(link.commands.session(), raw))) return finish(false);
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
