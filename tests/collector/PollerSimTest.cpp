// Device pollers against kestrel-sim processes on loopback addresses: several
// devices at once, failures and recovery, wrap and reset, bounded backoff,
// nothing but reads on the wire, every connection closed at the end.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "collector/DevicePoller.h"
#include "net/ErrorNumbers.h"
#include "tests/support/SimProcess.h"
#include "tests/support/Loopback.h"

namespace kestrel::collector {
namespace {

using namespace std::chrono_literals;
using testing::SimProcess;

class RecordingSink final : public RecordSink {
 public:
  void OnSample(const Sample& s) override {
    std::lock_guard lock(mutex_);
    samples_.push_back(s);
  }
  void OnEvent(const Event& e) override {
    std::lock_guard lock(mutex_);
    events_.push_back(e);
  }
  void OnStatus(const StatusChange& c) override {
    std::lock_guard lock(mutex_);
    statuses_.push_back(c);
  }
  std::vector<Sample> SamplesOf(const std::string& name) const {
    std::lock_guard lock(mutex_);
    std::vector<Sample> out;
    for (const Sample& s : samples_)
      if (s.device.name == name) out.push_back(s);
    return out;
  }
  std::vector<Event> EventsOf(const std::string& name) const {
    std::lock_guard lock(mutex_);
    std::vector<Event> out;
    for (const Event& e : events_)
      if (e.device.name == name) out.push_back(e);
    return out;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Sample> samples_;
  std::vector<Event> events_;
  std::vector<StatusChange> statuses_;
};

constexpr auto kInterval = 100ms;

PollTimings ShortTimings(const SimProcess& sim) {
  PollTimings t;
  t.channel.connectMs = 500;
  t.channel.sendMs = 500;
  t.channel.receiveMs = 300;
  t.connect.probe.devicePort = sim.ports().discovery;
  t.connect.probe.replyWaitMs = 300;
  t.connect.probe.followUpReceiveMs = 200;
  t.connect.configPort = sim.ports().config;
  t.backoffFirst = 100ms;
  t.backoffMax = 400ms;
  t.startSpreadMax = 0ms;
  return t;
}

DeviceTarget TargetFor(const SimProcess& sim, const std::string& name) {
  return DeviceTarget{DeviceRef{name, sim.address(), sim.ports().command}, kInterval,
                      testing::Ipv4(127, 0, 14, 1)};
}

// Requests that would change the device: pulse mode, input setup, gate.
int ChangingRequests(const SimProcess& sim) {
  return sim.CountLogLines("<- 50 4C") + sim.CountLogLines("<- 50 43") +
         sim.CountLogLines("<- 50 53");
}

std::vector<EventKind> KindsOf(const std::vector<Event>& events) {
  std::vector<EventKind> kinds;
  for (const Event& e : events)
    if (e.kind != EventKind::Skip) kinds.push_back(e.kind);
  return kinds;
}

// One poller of `sim` as device `name`, running for `span`; it has stopped
// (and written its last record) when this returns.
void PollFor(const SimProcess& sim, const std::string& name, const PollTimings& timings,
             std::chrono::milliseconds span, RecordingSink& sink) {
  DevicePoller poller(TargetFor(sim, name), timings, sink);
  poller.Start();
  std::this_thread::sleep_for(span);
}

// The increases of one input add up to its last total, and, without a
// reset, to the distance the raw counter travelled (modulo 2^32).
void ExpectNothingLostOrInvented(const std::vector<Sample>& samples, int input) {
  ASSERT_FALSE(samples.empty());
  std::uint64_t sum = 0;
  bool reset = false;
  for (const Sample& s : samples) {
    const InputValue& v = s.inputs[input];
    ASSERT_TRUE(v.present);
    sum += v.increase;
    EXPECT_EQ(v.total, sum);
    reset = reset || v.reset;
  }
  if (!reset) {
    const std::uint32_t travelled = samples.back().inputs[input].raw - samples.front().inputs[input].raw;
    EXPECT_EQ(sum % (std::uint64_t{1} << 32), travelled);
  }
}

TEST(PollerSim, SeveralDevicesOneFailingAndRecoveringOthersUntouched) {
  // Steady devices; one whose connection is closed once mid-poll, one that
  // leaves a counter read unanswered once; one with DI2 disabled.
  SimProcess steadyA("127.0.14.2", {});
  SimProcess steadyB("127.0.14.3", {"--input", "2=off"});
  SimProcess closing("127.0.14.4", {"--close-after", "20:1"});
  SimProcess silent("127.0.14.5", {"--no-reply", "PG:1"});
  for (const SimProcess* s : {&steadyA, &steadyB, &closing, &silent}) ASSERT_TRUE(s->ready());

  RecordingSink sink;
  PollerRegistry pollers;
  ASSERT_TRUE(pollers.Add(TargetFor(steadyA, "a"), ShortTimings(steadyA), sink));
  ASSERT_TRUE(pollers.Add(TargetFor(steadyB, "b"), ShortTimings(steadyB), sink));
  ASSERT_TRUE(pollers.Add(TargetFor(closing, "closing"), ShortTimings(closing), sink));
  ASSERT_TRUE(pollers.Add(TargetFor(silent, "silent"), ShortTimings(silent), sink));
  // Never a second connection to a device that is polled already.
  EXPECT_FALSE(pollers.Add(TargetFor(steadyA, "again"), ShortTimings(steadyA), sink));
  ASSERT_NE(pollers.Find("127.0.14.4", closing.ports().command), nullptr);

  std::this_thread::sleep_for(2000ms);
  const DeviceSnapshot silentNow = pollers.Find("127.0.14.5", silent.ports().command)->Snapshot();
  pollers.StopAll();

  for (const char* name : {"a", "b"}) {
    EXPECT_EQ(KindsOf(sink.EventsOf(name)),
              (std::vector<EventKind>{EventKind::Connect, EventKind::Disconnect}))
        << name;
    const std::vector<Sample> samples = sink.SamplesOf(name);
    // About 20 slots in 2 s; a loaded machine may skip a few.
    EXPECT_GE(samples.size(), 12u) << name;
    for (std::size_t i = 1; i < samples.size(); ++i) EXPECT_EQ(samples[i].gap, 0ms) << name;
    for (int input : {0, 2, 7}) ExpectNothingLostOrInvented(samples, input);
  }
  // A disabled input gives no value at all.
  for (const Sample& s : sink.SamplesOf("b")) EXPECT_FALSE(s.inputs[1].present);

  const struct {
    const char* name;
    FailureKind kind;
  } failing[] = {{"closing", FailureKind::Closed}, {"silent", FailureKind::Timeout}};
  for (const auto& f : failing) {
    const std::vector<Event> events = sink.EventsOf(f.name);
    EXPECT_EQ(KindsOf(events),
              (std::vector<EventKind>{EventKind::Connect, EventKind::Failure, EventKind::Disconnect,
                                      EventKind::Connect, EventKind::Disconnect}))
        << f.name;
    const auto failure = std::find_if(events.begin(), events.end(),
                                      [](const Event& e) { return e.kind == EventKind::Failure; });
    ASSERT_NE(failure, events.end());
    EXPECT_EQ(failure->failure, f.kind) << f.name << ": " << failure->message;
    EXPECT_EQ(failure->message.rfind("ネットワークエラー:R ", 0), 0u) << failure->message;
    EXPECT_GE(failure->retryIn, 50ms);
    EXPECT_LE(failure->retryIn, 100ms);
    // The sample after the failure spans the gap and loses nothing (the
    // silent device fails at its first read, before any sample).
    const std::vector<Sample> samples = sink.SamplesOf(f.name);
    const auto after = std::find_if(samples.begin(), samples.end(),
                                    [](const Sample& s) { return s.gap > 0ms; });
    if (f.kind == FailureKind::Closed) {
      ASSERT_NE(after, samples.end()) << f.name;
      EXPECT_GE(after->gap, 150ms) << f.name;
    }
    for (int input = 0; input < kMaxInputs; ++input) ExpectNothingLostOrInvented(samples, input);
  }
  EXPECT_EQ(silentNow.failures.at(FailureKind::Timeout), 1u);
  EXPECT_EQ(silentNow.connects, 2u);
  EXPECT_EQ(silentNow.status, DeviceStatus::Up);

  for (const SimProcess* s : {&steadyA, &steadyB, &closing, &silent}) {
    EXPECT_EQ(ChangingRequests(*s), 0) << s->address();
    EXPECT_TRUE(s->AllConnectionsClosed()) << s->address();
  }
}

TEST(PollerSim, WrapAndResetAreToldApart) {
  // Counters 600 short of the top, 1000 pulses/s on DI1; every counter goes
  // back to 0 after 1.2 s. Count period 0.1 s: reads show the last boundary.
  SimProcess sim("127.0.14.6",
                 {"--start-count", "all=4294966696", "--rate", "1=1000", "--reset-counters-at",
                  "1200"});
  ASSERT_TRUE(sim.ready());
  RecordingSink sink;
  PollFor(sim, "d", ShortTimings(sim), 1800ms, sink);
  const std::vector<Sample> samples = sink.SamplesOf("d");
  ASSERT_GE(samples.size(), 8u);
  int wraps = 0;
  int resets = 0;
  for (const Sample& s : samples) {
    const InputValue& v = s.inputs[0];
    EXPECT_FALSE(v.wrapped && v.reset);
    if (v.wrapped) ++wraps;
    if (v.reset) {
      ++resets;
      EXPECT_EQ(v.increase, v.raw);
    }
    // Both are far from a 2^32 jump: at most 1000 pulses/s and a short gap.
    EXPECT_LT(v.increase, 1000u);
  }
  EXPECT_EQ(wraps, 1);
  EXPECT_EQ(resets, 1);
  ExpectNothingLostOrInvented(samples, 0);
}

TEST(PollerSim, AnOverrunningPollSkipsToTheNextSlotAndCountsIt) {
  // Each reply 30 ms late: a poll of eight inputs takes about 240 ms, more
  // than two 100 ms slots.
  SimProcess sim("127.0.14.10", {"--reply-delay", "30"});
  ASSERT_TRUE(sim.ready());
  RecordingSink sink;
  PollFor(sim, "slow", ShortTimings(sim), 1500ms, sink);
  const std::vector<Sample> samples = sink.SamplesOf("slow");
  ASSERT_GE(samples.size(), 3u);
  std::uint64_t skipped = 0;  // between the first and the last sample
  for (const Event& e : sink.EventsOf("slow"))
    if (e.kind == EventKind::Skip && e.time < samples.back().time) skipped += e.skipped;
  // Every slot between them is either sampled or counted as skipped.
  const auto span = samples.back().time - samples.front().time;
  const double slots = std::chrono::duration<double>(span) / std::chrono::duration<double>(kInterval);
  EXPECT_NEAR(static_cast<double>(samples.size() - 1 + skipped), slots, 1.0);
  EXPECT_GE(skipped, 2 * (samples.size() - 1));
  // Polls start on a slot, not behind it: only the poll's own time is late.
  for (const Sample& s : samples) {
    EXPECT_LT(s.lateness, 400ms);
    EXPECT_GE(s.pollDuration, 240ms);  // eight replies, each 30 ms late
  }
}

TEST(PollerSim, BackoffDoublesToItsBoundWhileNothingAnswers) {
  // Nothing listens here: every attempt fails after the probe's wait.
  SimProcess sim("127.0.14.7", {"--discovery-silent"});
  ASSERT_TRUE(sim.ready());
  RecordingSink sink;
  PollTimings timings = ShortTimings(sim);
  timings.connect.probe.replyWaitMs = 20;
  timings.backoffFirst = 20ms;
  timings.backoffMax = 80ms;
  PollFor(sim, "gone", timings, 600ms, sink);
  const std::vector<Event> events = sink.EventsOf("gone");
  ASSERT_GE(events.size(), 5u);
  std::chrono::milliseconds bound = 20ms;
  for (const Event& e : events) {
    ASSERT_EQ(e.kind, EventKind::Failure);
    EXPECT_EQ(e.failure, FailureKind::Timeout);
    EXPECT_GE(e.retryIn, bound / 2);
    EXPECT_LE(e.retryIn, bound);
    bound = std::min(bound * 2, 80ms);
  }
  EXPECT_TRUE(sink.SamplesOf("gone").empty());
}

TEST(PollerSim, ProbeOnceConnectsReadsAndCloses) {
  SimProcess sim("127.0.14.8", {"--model", "17"});
  ASSERT_TRUE(sim.ready());
  const ProbeOutcome outcome = ProbeOnce(TargetFor(sim, "p"), ShortTimings(sim));
  ASSERT_TRUE(outcome.ok) << outcome.message;
  ASSERT_TRUE(outcome.identity && outcome.sample);
  EXPECT_EQ(outcome.identity->model, "SX-17");
  EXPECT_EQ(outcome.sample->inputCount, 4);
  EXPECT_TRUE(outcome.sample->inputs[3].present);
  EXPECT_FALSE(outcome.sample->inputs[4].present);
  EXPECT_TRUE(sim.AllConnectionsClosed());

  SimProcess refused("127.0.14.9", {"--model", "3"});
  const ProbeOutcome no = ProbeOnce(TargetFor(refused, "r"), ShortTimings(refused));
  EXPECT_FALSE(no.ok);
  EXPECT_EQ(no.failure, FailureKind::RefusedModel);
  EXPECT_TRUE(refused.AllConnectionsClosed());
}

// Each kind of failure as the device's fault produces it: the kind, the step
// and the socket error come from where the operation failed, whatever the
// text shown for it.
TEST(PollerSim, EveryFailureKindComesFromTheStepThatFailed) {
  const struct {
    const char* address;
    std::vector<std::string> faults;
    FailureKind kind;
    FailureStep step;
    int errorNumber;
  } cases[] = {
      {"127.0.14.21", {"--discovery-silent"}, FailureKind::Timeout, FailureStep::Probe, 0},
      {"127.0.14.22", {"--reply-delay", "600"}, FailureKind::Timeout, FailureStep::Receive,
       net::kErrTimedOut},
      {"127.0.14.23", {"--model", "25", "--config-refuse"}, FailureKind::Refused,
       FailureStep::Connect, net::kErrConnectionRefused},
      {"127.0.14.24", {"--close-after", "1"}, FailureKind::Closed, FailureStep::Receive,
       net::kErrConnectionReset},
      {"127.0.14.25", {"--endless-reply", "PG"}, FailureKind::Reply, FailureStep::Reply, 0},
      {"127.0.14.26", {"--model", "3"}, FailureKind::RefusedModel, FailureStep::Identify, 0},
      {"127.0.14.27", {"--model", "25", "--mode", "1"}, FailureKind::Mode, FailureStep::ModeCheck, 0},
  };
  for (const auto& c : cases) {
    SimProcess sim(c.address, c.faults);
    ASSERT_TRUE(sim.ready()) << c.address;
    RecordingSink sink;
    PollTimings timings = ShortTimings(sim);
    timings.backoffFirst = timings.backoffMax = 5s;  // one attempt in the time polled
    PollFor(sim, "d", timings, 1200ms, sink);
    const std::vector<Event> events = sink.EventsOf("d");
    const auto failure = std::find_if(events.begin(), events.end(),
                                      [](const Event& e) { return e.kind == EventKind::Failure; });
    ASSERT_NE(failure, events.end()) << c.address;
    EXPECT_EQ(Name(failure->failure), std::string(Name(c.kind))) << c.address << ": " << failure->message;
    EXPECT_EQ(Name(failure->step), std::string(Name(c.step))) << c.address;
    EXPECT_EQ(failure->errorNumber, c.errorNumber) << c.address;
  }
}

}  // namespace
}  // namespace kestrel::collector
