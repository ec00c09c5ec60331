// The publisher against a real broker on loopback: a message the client
// library refuses is dropped and counted, and the ones behind it still go.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "collector/mqtt/MqttPublisher.h"

extern char** environ;

namespace kestrel::collector {
namespace {

using namespace std::chrono_literals;

constexpr auto kBrokerStart = 5s;
constexpr auto kDelivery = 5s;

TEST(MqttPublisher, ARefusedMessageIsDroppedAndTheRestGoOn) {
  // A port of this process's own, so parallel runs do not meet.
  const auto port = static_cast<std::uint16_t>(20000 + getpid() % 20000);
  const std::string conf = testing::TempDir() + "mqtt-refusal-" + std::to_string(port) + ".conf";
  std::ofstream(conf) << "listener " << port << " 127.0.0.1\nallow_anonymous true\nuser root\nlog_dest none\n";
  const char* argv[] = {"mosquitto", "-c", conf.c_str(), nullptr};
  // The broker gets none of the test's output streams: one left behind by a
  // test that died must not keep the test runner waiting for their end.
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&quiet, fd, "/dev/null", O_RDWR, 0);
  pid_t broker = 0;
  const int spawned = posix_spawnp(&broker, "mosquitto", &quiet, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) GTEST_SKIP() << "no mosquitto broker to test against";
  struct Stopper {
    pid_t pid;
    ~Stopper() {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  } stopper{broker};

  MqttOptions options;
  options.host = "127.0.0.1";
  options.port = port;
  options.id = "refusal";
  options.retryFirst = options.retryMax = 100ms;  // the broker may still be starting
  MqttPublisher publisher(options);
  std::string error;
  ASSERT_TRUE(publisher.Start(error)) << error;
  const DeviceRef bad{"bad\xff", "10.0.0.1", 10003};  // not UTF-8: no topic may hold it
  const DeviceRef good{"good", "10.0.0.2", 10003};
  publisher.OnEvent(Event{EventKind::Disconnect, bad, {}, {}, {}, {}, 0, {}, {}});
  publisher.OnEvent(Event{EventKind::Disconnect, good, {}, {}, {}, {}, 0, {}, {}});
  const auto until = std::chrono::steady_clock::now() + kBrokerStart + kDelivery;
  while (publisher.stats().acknowledged == 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(50ms);
  const MqttPublisher::Stats stats = publisher.stats();
  publisher.Stop();
  std::remove(conf.c_str());
  EXPECT_EQ(stats.acknowledged, 1u);
  EXPECT_EQ(stats.dropped, 1u);
}

}  // namespace
}  // namespace kestrel::collector
