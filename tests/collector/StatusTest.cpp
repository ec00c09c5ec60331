// The status page without a server or browser: what the activity sink keeps
// per device, the order and size of the fleet's JSON, and which request
// paths reach a file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "collector/status/DeviceActivity.h"
#include "collector/status/StatusJson.h"
#include "collector/status/WebRoot.h"
#include "common/OperatorTexts.h"

namespace kestrel::collector {
namespace {

using std::chrono::hours;
using std::chrono::seconds;

const DeviceRef kPress{"press", "10.0.0.2", kDefaultPort};

Sample SampleAt(WallClock::time_point t, std::uint64_t increase) {
  Sample s;
  s.device = kPress;
  s.time = t;
  s.inputCount = 2;
  s.inputs[0].present = true;
  s.inputs[0].increase = s.inputs[0].total = increase;
  return s;
}

TEST(DeviceActivity, KeepsRecentEventsTodaysPulsesAndTheTimeInAState) {
  setenv("TZ", "UTC", 1);
  tzset();
  const WallClock::time_point day(seconds(1774742400));  // 2026-03-29T00:00Z
  DeviceActivity a;
  a.SeedToday("press", 1, 100, 1774742400);
  a.OnSample(SampleAt(day + hours(1), 5));
  EXPECT_EQ(a.Summary("press").today.inputs[0], 105u) << "taken up from the store, then counted";
  a.OnSample(SampleAt(day + hours(25), 7));
  EXPECT_EQ(a.Summary("press").today.inputs[0], 7u) << "a new day starts at 0";
  EXPECT_EQ(a.Summary("press").today.dayStart, 1774742400 + 86400);

  // Down, connecting, down while retrying: down since the first failure.
  const DeviceStatus states[] = {DeviceStatus::Up, DeviceStatus::Down, DeviceStatus::Connecting, DeviceStatus::Down};
  for (int i = 0; i < 4; ++i) a.OnStatus(StatusChange{kPress, day + seconds(i), states[i], {}, {}, {}});
  EXPECT_EQ(a.Summary("press").stateSince, day + seconds(1));

  // The same failure again counts up; the ring stays bounded, newest first.
  for (int i = 0; i < 3; ++i)
    a.OnEvent(Event{EventKind::Failure, kPress, day + seconds(i), FailureKind::Timeout, kMsgTargetNotFound, {}, 0, {}, {}});
  ASSERT_EQ(a.Events("press").size(), 1u);
  EXPECT_EQ(a.Events("press")[0].repeats, 3u);
  for (std::uint64_t i = 0; i < 2 * DeviceActivity::kRecentEvents; ++i)
    a.OnEvent(Event{EventKind::Skip, kPress, day + seconds(10 + i), {}, {}, {}, i + 1, {}, {}});
  const auto events = a.Events("press");
  ASSERT_EQ(events.size(), DeviceActivity::kRecentEvents);
  EXPECT_EQ(events.front().time, day + seconds(10 + 2 * DeviceActivity::kRecentEvents - 1));
  unsetenv("TZ");
  tzset();
}

TEST(StatusJson, DownFirstThenByNameAndAThousandDevicesUnderAMegabyte) {
  const WallClock::time_point now = WallClock::now();
  std::vector<DeviceSnapshot> fleet;
  for (int i = 0; i < 1000; ++i) {
    DeviceSnapshot s;
    s.device = DeviceRef{"packing-line-" + std::to_string(1000 - i), "10.78." + std::to_string(i / 256) + "." +
                         std::to_string(i % 256), kDefaultPort};
    s.status = i % 2 ? DeviceStatus::Up : DeviceStatus::Down;
    s.lastFailure = i % 2 ? FailureKind::None : FailureKind::Timeout;
    s.lastError = NetworkErrorText('R', 10060);
    s.identity.emplace();
    s.identity->model = "SX-21";
    s.identity->unit = 15;
    s.lastSample.emplace();
    s.lastSample->time = now;
    s.lastSample->inputCount = 8;
    for (auto& v : s.lastSample->inputs) v = InputValue{true, 4294967295u, 1000000, 1000000000000, 12345.678, {}, {}};
    fleet.push_back(s);
  }
  std::map<std::string, ActivitySummary> activity;
  const std::string json = DevicesJson(fleet, activity, now, TodayScopeAt(now, now, true), true);
  EXPECT_LT(json.size(), 1'000'000u);
  std::printf("fleet of 1000 devices of 8 inputs: %zu bytes\n", json.size());
  const std::size_t firstUp = json.find("\"state\":\"up\"");
  EXPECT_GT(firstUp, json.rfind("\"state\":\"down\"")) << "down devices first";
  EXPECT_LT(json.find("\"packing-line-1000\""), json.find("\"packing-line-998\"")) << "then by name";
  EXPECT_NE(json.find("\"hint\":\"Network error while waiting for the reply"), std::string::npos);
}

TEST(WebRoot, OnlyTheKnownFilesAreServed) {
  const auto dir = std::filesystem::temp_directory_path() / ("kestrel-web-root-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string error;
  EXPECT_FALSE(WebRoot::Load(dir.string(), "/nonexistent", true, error));
  EXPECT_NE(error.find("index.html: No such file or directory"), std::string::npos) << error;
  for (const char* name : {"index.html", "device.html", "status.css", "common.js", "fleet.js", "device.js"})
    std::ofstream(dir / name) << name;
  const auto root = WebRoot::Load(dir.string(), (dir / "fleet.js").string(), true, error);
  ASSERT_TRUE(root) << error;
  const struct {
    const char* path;
    const char* body;  // nullptr: not served
  } cases[] = {
      {"/", "index.html"},           {"/device/a%2Fb", "device.html"}, {"/device/../fleet.js", "device.html"},
      {"/chart.js", "fleet.js"},     {"/status.css", "status.css"},    {"/device/", nullptr},
      {"/index.html", nullptr},      {"/../status.css", nullptr},      {"/status.css/", nullptr},
  };
  for (const auto& c : cases) {
    const WebFile* file = root->Find(c.path);
    EXPECT_EQ(file ? file->body : "(not served)", c.body ? c.body : "(not served)") << c.path;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kestrel::collector
