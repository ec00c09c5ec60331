// The collector's own outputs: the queue in front of a slow output keeps the
// order, drops the oldest when full and stops in bounded time even when its
// output is stuck; the output health reports at most once per interval, and
// an event about an output that fails again cannot loop.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "collector/OutputHealth.h"
#include "collector/QueuedSink.h"
#include "collector/RecordText.h"

namespace kestrel::collector {
namespace {

using namespace std::chrono_literals;

// The longest any wait of these tests lasts.
constexpr auto kTestWait = 5s;

// Writes down what reaches it; until opened, a sample holds the writer in it,
// as a full pipe would.
class GatedSink final : public RecordSink {
 public:
  void OnSample(const Sample& sample) override {
    std::unique_lock lock(mutex_);
    entered_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, kTestWait, [this] { return open_; });
    seen_.push_back(sample.device.name);
  }
  void OnEvent(const Event&) override {}
  void OnStatus(const StatusChange&) override {}
  void Reopen() override {
    std::lock_guard lock(mutex_);
    seen_.push_back("reopen");
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  bool WaitEntered() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kTestWait, [this] { return entered_; });
  }
  std::vector<std::string> Seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false;
  bool open_ = false;
  std::vector<std::string> seen_;
};

Sample Named(int n) {
  Sample s;
  s.device.name = std::to_string(n);
  return s;
}

TEST(QueuedSink, KeepsOrderDropsTheOldestAndStopsInBoundedTime) {
  const struct {
    const char* name;
    std::size_t limit;
    int records;
    bool stuck;  // the output never lets go: Stop must give up on it
    std::vector<std::string> seen;
    std::uint64_t dropped;
  } cases[] = {
      {"in order", 100, 5, false, {"0", "reopen", "1", "2", "3", "4"}, 0},
      {"full", 3, 8, false, {"0", "reopen", "5", "6", "7"}, 4},
      {"stuck", 3, 4, true, {"0"}, 3},
  };
  for (const auto& c : cases) {
    OutputHealth health;
    GatedSink output;
    const QueueLimits limits{c.limit, 200ms};
    QueuedSink queue(c.name, output, health, [&output] { output.Open(); }, limits);
    queue.OnSample(Named(0));
    ASSERT_TRUE(output.WaitEntered()) << c.name;  // the writer now holds record 0
    queue.Reopen();
    for (int n = 1; n < c.records; ++n) queue.OnSample(Named(n));
    if (!c.stuck) output.Open();
    const auto start = SteadyClock::now();
    queue.Stop();
    EXPECT_LT(SteadyClock::now() - start, limits.drain + 1s) << c.name;
    EXPECT_EQ(output.Seen(), c.seen) << c.name;
    EXPECT_EQ(health.Snapshot()[c.name].dropped, c.dropped) << c.name;
  }
}

// An output whose every event about itself is lost again, as a full queue
// would lose it: the report comes back into the health it came from.
class EchoingSink final : public RecordSink {
 public:
  explicit EchoingSink(OutputHealth& health) : health_(health) {}
  void OnSample(const Sample&) override {}
  void OnEvent(const Event& event) override {
    lines.push_back(EventJson(event));
    health_.Dropped(event.output, 1);
  }
  void OnStatus(const StatusChange&) override {}
  std::vector<std::string> lines;

 private:
  OutputHealth& health_;
};

TEST(OutputHealth, ReportsOncePerIntervalAndTheEndOfAFailure) {
  OutputHealth health;
  EchoingSink events(health);
  health.SetEventSink(&events);
  health.Dropped(kMqttOutput, 0);
  health.Failed(kCsvOutput, "disk full");
  health.Failed(kCsvOutput, "disk full");  // within the interval: summed up later
  health.Resumed(kCsvOutput);
  health.Dropped(kCsvOutput, 5);
  health.Dropped(kJsonLinesOutput, 1);  // each output has its own interval
  health.SetEventSink(nullptr);

  ASSERT_EQ(events.lines.size(), 3u);
  EXPECT_NE(events.lines[0].find(R"("event":"output","output":"csv","message":"1 write failed, the last: disk full"})"),
            std::string::npos) << events.lines[0];
  EXPECT_EQ(events.lines[0].find("\"device\""), std::string::npos) << events.lines[0];
  EXPECT_NE(events.lines[1].find(R"x("message":"writing again (since the last report: 1 record dropped; )x"
                                 R"x(1 write failed, the last: disk full)"})x"),
            std::string::npos) << events.lines[1];
  EXPECT_NE(events.lines[2].find(R"("output":"jsonl","message":"1 record dropped"})"), std::string::npos);

  const auto counts = health.Snapshot();
  EXPECT_EQ(counts.at(kCsvOutput).dropped, 7u);  // 5, and the two events lost
  EXPECT_EQ(counts.at(kCsvOutput).failures, 2u);
  EXPECT_EQ(counts.at(kJsonLinesOutput).dropped, 2u);
  EXPECT_EQ(counts.at(kMqttOutput).dropped + counts.at(kMqttOutput).failures, 0u);
}

}  // namespace
}  // namespace kestrel::collector
