// The command port, driven with the project's own command channel: replies
// byte for byte, the state they change, and the frames the device ignores.
#include <gtest/gtest.h>

#include <thread>

#include "common/Protocol.h"
#include "tests/sim/SimClient.h"

namespace kestrel::sim {
namespace {

using namespace std::chrono_literals;
using testing::Client;
using testing::kSimAddress;
using testing::LoopbackSimConfig;
using testing::SimThread;

constexpr std::uint8_t T = protocol::kCommandTerminator;

TEST(SimCommands, IdentifyEncodesUnitAndModel) {
  struct Case {
    std::int32_t model;
    std::int32_t unit;
    Bytes reply;
  } cases[] = {
      {5, 0, {0x6D, 0x69, 0x3F, 0x35, T}},
      {25, 15, {0x6D, 0x69, 0x30, 0x3F, 0x39, T}},
      {17, 0, {0x6D, 0x69, 0x3F, 0x3F, 0x31, T}},
      {0, 7, {0x6D, 0x69, 0x38, 0x30, T}},
  };
  for (const Case& c : cases) {
    SimConfig config = LoopbackSimConfig(kSimAddress);
    config.modelIndex = c.model;
    config.unitId = c.unit;
    SimThread sim(config);
    Client client(sim);
    ASSERT_TRUE(client.Open());
    EXPECT_EQ(client.Exchange({'M', 'I', T}), c.reply) << "model " << c.model;
  }
}

// One device, one conversation: each reply byte for byte, in order, so that
// every write is checked by the read that follows it.
TEST(SimCommands, RepliesCarryTheFieldsAndWritesTakeEffect) {
  SimConfig config = LoopbackSimConfig(kSimAddress);
  config.countingOn = false;
  config.inputs[0].startCount = 123456;
  config.inputs[0].rateMilliHz = 0;  // stays put while counting is briefly on
  SimThread sim(config);
  Client client(sim);
  ASSERT_TRUE(client.Open());

  const struct {
    Bytes request;
    Bytes reply;
  } steps[] = {
      // Power-up: counting off, period 0.1 s, chatter off.
      {{'P', 'J', T}, {0x70, 0x6A, 0x22, 0x20, T}},
      // Counting on, period 1, chatter 4 ms.
      {{'P', 'L', 0x2A, 0x24, T}, {0x70, 0x6C, 0x2A, 0x24, T}},
      {{'P', 'J', T}, {0x70, 0x6A, 0x2A, 0x24, T}},
      // Counting off, period 3, chatter 20 ms (bit 4 travels in the control byte).
      {{'P', 'L', 0x27, 0x24, T}, {0x70, 0x6C, 0x27, 0x24, T}},
      {{'P', 'J', T}, {0x70, 0x6A, 0x27, 0x24, T}},
      {{'P', 'P', T}, {0x70, 0x70, 0x20, T}},
      {{'P', 'S', 0x28, T}, {0x70, 0x73, 0x28, T}},
      {{'P', 'P', T}, {0x70, 0x70, 0x28, T}},
      {{'P', 'S', 0x20, T}, {0x70, 0x73, 0x20, T}},
      {{'P', 'P', T}, {0x70, 0x70, 0x20, T}},
      {{'P', 'H', 0x21, T}, {0x70, 0x68, 0x21, 0x21, T}},
      // 0x23 is enabled, FALL, and reads back in its plain form.
      {{'P', 'C', 0x21, 0x23, T}, {0x70, 0x63, 0x21, 0x22, T}},
      {{'P', 'H', 0x21, T}, {0x70, 0x68, 0x21, 0x22, T}},
      {{'P', 'C', 0x21, 0x20, T}, {0x70, 0x63, 0x21, 0x20, T}},
      {{'P', 'H', 0x21, T}, {0x70, 0x68, 0x21, 0x20, T}},
      {{'P', 'H', 0x27, T}, {0x70, 0x68, 0x27, 0x21, T}},
      {{'P', 'G', 0x20, T}, {0x70, 0x67, 0x20, '0', '0', '0', '1', 'E', '2', '4', '0', T}},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(client.Exchange(step.request), step.reply)
        << "request " << HexBytes(step.request.data(), step.request.size());
  }
  const auto reply = client.Exchange({'P', 'J', T});
  ASSERT_TRUE(reply);
  const protocol::PulseMode mode = protocol::DecodePulseMode((*reply)[2], (*reply)[3]);
  EXPECT_EQ(mode.countPeriod, 3);
  EXPECT_EQ(mode.chatterCode, 20);
}

TEST(SimCommands, FramesTheDeviceDoesNotUnderstandGetNoReply) {
  SimConfig config = LoopbackSimConfig(kSimAddress);
  config.modelIndex = 1;  // two inputs
  SimThread sim(config);
  Client client(sim, {500, 500, 150, 1000, 10});
  ASSERT_TRUE(client.Open());
  const auto before = client.Exchange({'P', 'J', T});
  ASSERT_TRUE(before);

  const struct {
    const char* why;
    Bytes request;
  } cases[] = {
      {"unknown command", {'Z', 'Z', T}},
      {"lower-case letters", {'p', 'j', T}},
      {"parameter where none belongs", {'P', 'J', 0x20, T}},
      {"missing selector", {'P', 'H', T}},
      {"selector beyond DI8", {'P', 'H', 0x28, T}},
      {"not a parameter byte", {'P', 'H', 0x41, T}},
      {"input the model lacks", {'P', 'G', 0x22, T}},
      {"input mode out of range", {'P', 'C', 0x20, 0x24, T}},
      {"control byte with bit 4", {'P', 'L', 0x30, 0x20, T}},
      {"chatter code 2", {'P', 'L', 0x22, 0x22, T}},
      {"gate byte neither start nor stop", {'P', 'S', 0x21, T}},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(client.Exchange(c.request)) << c.why;
    EXPECT_EQ(client.state.lastError, "ネットワークエラー:R 10060\r\n") << c.why;
  }
  // Nothing was changed and the connection still serves.
  EXPECT_EQ(client.Exchange({'P', 'J', T}), before);
}

TEST(SimCommands, ClientsShareOneDevice) {
  SimThread sim(LoopbackSimConfig(kSimAddress));
  Client first(sim);
  Client second(sim);
  ASSERT_TRUE(first.Open());
  ASSERT_TRUE(second.Open());
  ASSERT_TRUE(first.Exchange({'P', 'L', 0x26, 0x28, T}));
  EXPECT_EQ(second.Exchange({'P', 'J', T}), (Bytes{0x70, 0x6A, 0x26, 0x28, T}));
}

std::uint32_t Count(Client& client, int input) {
  const auto reply = client.Exchange({'P', 'G', protocol::InputSelector(input), T});
  EXPECT_TRUE(reply);
  if (!reply || reply->size() < 12) return 0;
  return protocol::ParseCounterText(reply->data() + protocol::kPgCounterOffset,
                                    protocol::kPgCounterLength);
}

// Wall-clock counting over the wire; exact counts are checked without
// sockets in the device tests.
TEST(SimCommands, CounterRisesOnlyWhileCountingAndGateAllow) {
  SimConfig config = LoopbackSimConfig(kSimAddress);
  config.inputs[0].rateMilliHz = 1'000'000;  // 1000 pulses per second
  SimThread sim(config);
  Client client(sim);
  ASSERT_TRUE(client.Open());

  const std::uint32_t a = Count(client, 0);
  std::this_thread::sleep_for(300ms);
  EXPECT_GT(Count(client, 0), a + 100) << "counting on, period 0.1 s";

  ASSERT_TRUE(client.Exchange({'P', 'L', 0x22, 0x20, T}));  // counting off
  const std::uint32_t off = Count(client, 0);
  std::this_thread::sleep_for(250ms);
  EXPECT_EQ(Count(client, 0), off) << "counting off";

  ASSERT_TRUE(client.Exchange({'P', 'L', 0x28, 0x20, T}));  // on, START-STOP
  const std::uint32_t stopped = Count(client, 0);
  std::this_thread::sleep_for(250ms);
  EXPECT_EQ(Count(client, 0), stopped) << "gate stopped";

  ASSERT_TRUE(client.Exchange({'P', 'S', 0x28, T}));
  std::this_thread::sleep_for(250ms);
  const std::uint32_t running = Count(client, 0);
  EXPECT_GT(running, stopped + 100) << "gate running";

  ASSERT_TRUE(client.Exchange({'P', 'C', 0x20, 0x20, T}));  // DI1 disabled
  const std::uint32_t disabled = Count(client, 0);
  std::this_thread::sleep_for(250ms);
  EXPECT_EQ(Count(client, 0), disabled) << "input disabled";
}

}  // namespace
}  // namespace kestrel::sim
