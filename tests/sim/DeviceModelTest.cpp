// The simulated device without sockets: exact counts with time moved by hand.
#include <gtest/gtest.h>

#include "sim/CommandHandler.h"
#include "sim/SimDevice.h"

namespace kestrel::sim {
namespace {

using std::chrono::milliseconds;

const SimClock::time_point kPowerUp{};
SimClock::time_point At(int ms) { return kPowerUp + milliseconds(ms); }

SimConfig TenPerSecond(std::int32_t period) {
  SimConfig config;
  config.countPeriod = period;
  config.countingOn = true;
  config.gateRunning = true;
  config.inputs[0].rateMilliHz = 10'000;
  return config;
}

TEST(SimDeviceModel, CountsTheChosenEdgeOfTheInputWave) {
  // 10 pulses per second: rising edges at 100 ms, 200 ms ..., falling ones
  // half-way between.
  const struct {
    std::int32_t edge;
    int ms;
    std::uint32_t count;
  } cases[] = {
      {0, 99, 0}, {0, 100, 1}, {0, 960, 9}, {0, 1000, 10},
      {1, 49, 0}, {1, 50, 1},  {1, 960, 10}, {1, 1000, 10},
  };
  for (const auto& c : cases) {
    SimConfig config = TenPerSecond(0);
    config.inputs[0].edge = c.edge;
    SimDevice device(config, kPowerUp);
    EXPECT_EQ(device.ReadCounter(0, At(c.ms)), c.count) << "edge " << c.edge << " at " << c.ms;
  }
}

TEST(SimDeviceModel, TimedPeriodReportsTheCountOfTheLastBoundary) {
  SimDevice device(TenPerSecond(2), kPowerUp);  // 1 s
  EXPECT_EQ(device.ReadCounter(0, At(999)), 0u);
  EXPECT_EQ(device.ReadCounter(0, At(1500)), 10u);
  EXPECT_EQ(device.ReadCounter(0, At(1999)), 10u);
  EXPECT_EQ(device.ReadCounter(0, At(2000)), 20u);
  // Switching counting off reports the final count at once, and it stays.
  device.SetPulseMode({0, 2, 0}, At(2550));
  EXPECT_EQ(device.ReadCounter(0, At(2551)), 25u);
  EXPECT_EQ(device.ReadCounter(0, At(60'000)), 25u);
}

TEST(SimDeviceModel, NothingCountsWithoutCountingGateOrInput) {
  const struct {
    const char* why;
    void (*change)(SimConfig&);
  } cases[] = {
      {"counting off", [](SimConfig& c) { c.countingOn = false; }},
      {"gate stopped in START-STOP", [](SimConfig& c) { c.gateRunning = false; }},
      {"input disabled", [](SimConfig& c) { c.inputs[0].enabled = false; }},
  };
  for (const auto& c : cases) {
    SimConfig config = TenPerSecond(0);
    c.change(config);
    SimDevice device(config, kPowerUp);
    EXPECT_EQ(device.ReadCounter(0, At(5000)), 0u) << c.why;
  }
  // The gate only matters in START-STOP.
  SimConfig timed = TenPerSecond(1);
  timed.gateRunning = false;
  SimDevice device(timed, kPowerUp);
  EXPECT_EQ(device.ReadCounter(0, At(1000)), 10u);
}

TEST(SimDeviceModel, CountersWrapAt32Bits) {
  SimConfig config = TenPerSecond(0);
  config.inputs[0].startCount = 0xFFFFFFFA;
  SimDevice device(config, kPowerUp);
  EXPECT_EQ(device.ReadCounter(0, At(1000)), 4u);
}

TEST(SimDeviceModel, CountersResetOnceAtTheSetTime) {
  SimConfig config = TenPerSecond(0);
  config.inputs[0].startCount = 500;
  config.resetCountersAtMs = 1050;
  SimDevice device(config, kPowerUp);
  EXPECT_EQ(device.ReadCounter(0, At(1000)), 510u);
  // A read long after the reset counts only the pulses since it (from
  // 1050 ms: 1100 ... 2000 ms).
  EXPECT_EQ(device.ReadCounter(0, At(2000)), 10u);
  EXPECT_EQ(device.ReadCounter(0, At(3000)), 20u);
}

TEST(SimDeviceModel, LongGapsAndHighRatesStayExact) {
  SimConfig config = TenPerSecond(0);
  config.inputs[0].rateMilliHz = kMaxRateMilliHz;  // 100 000 per second
  SimDevice device(config, kPowerUp);
  // Two days in one step: 100000 * 172800 = 17 280 000 000, modulo 2^32.
  const auto twoDays = kPowerUp + std::chrono::hours(48);
  EXPECT_EQ(device.ReadCounter(0, twoDays), static_cast<std::uint32_t>(17'280'000'000ull));
}

TEST(SimRequestFramer, CutsAtTheTerminatorAndDropsEndlessNoise) {
  RequestFramer framer;
  std::vector<Bytes> frames;
  const Bytes noise(70, 'x');
  EXPECT_EQ(framer.Feed(noise.data(), noise.size(), frames), RequestFramer::kMaxPending);
  const Bytes tail{'P', 'J', 0xC8, 'M', 'I'};
  EXPECT_EQ(framer.Feed(tail.data(), tail.size(), frames), 0u);
  const Bytes end{0xC8};
  framer.Feed(end.data(), end.size(), frames);
  // The noise's last six bytes run into the first frame, which the device
  // then does not understand; the next frame is clean.
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].size(), 6u + 3u);
  EXPECT_EQ(frames[1], (Bytes{'M', 'I', 0xC8}));
}

}  // namespace
}  // namespace kestrel::sim
