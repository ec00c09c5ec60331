// Every fault the simulator injects, end to end through the core connect
// steps and device operations: the one message the operator sees (exact
// text), a wait bounded by the (shortened) time-outs, a consistent state
// afterwards, and the next operation working once the fault has cleared.
#include <gtest/gtest.h>

#include <thread>

#include "tests/faults/FaultCases.h"
#include "tests/faults/FaultTool.h"

namespace kestrel::testing {
namespace {

using namespace std::chrono_literals;

class CoreFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(CoreFaults, OneMessageBoundedWaitConsistentStateThenRecovery) {
  const FaultCase& c = GetParam();
  std::vector<std::string> options = StillCounters();
  options.insert(options.end(), c.options.begin(), c.options.end());
  SimProcess sim(kFaultSimAddress, options);
  ASSERT_TRUE(sim.ready());
  FaultTool tool(sim);

  device::ConnectResult connected = device::ConnectResult::Failed;
  Status read = kStatusOk;
  long long ms = 0;
  if (c.strikes == Strikes::Connect) {
    ms = MillisecondsOf([&] { connected = tool.Connect(); });
  } else {
    ASSERT_EQ(tool.Connect(), device::ConnectResult::Connected)
        << ::testing::PrintToString(tool.frontEnd.messages);
    ASSERT_TRUE(tool.frontEnd.messages.empty());
    std::this_thread::sleep_for(20ms);  // a greeting is in before the first request
    tool.state.autoUpdateActive = 1;    // periodic reading runs
    ms = MillisecondsOf([&] { read = tool.ReadAllCounts(); });
    connected = device::ConnectResult::Connected;
  }

  const std::vector<std::string> expected =
      c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message};
  EXPECT_EQ(tool.frontEnd.messages, expected);
  EXPECT_GE(ms, c.minMs);
  EXPECT_LE(ms, c.maxMs + kFaultSlackMs);
  if (*c.logged != '\0') {
    EXPECT_GE(sim.CountLogLines(c.logged), 1) << sim.Log();
  }

  const bool failed = !c.message.empty();
  EXPECT_EQ(connected == device::ConnectResult::Connected, c.connectedAfter);
  EXPECT_EQ(tool.channel.IsOpen(net::Slot::MainSlot), c.connectedAfter);
  EXPECT_FALSE(tool.channel.IsOpen(net::Slot::ConfigSlot));
  if (c.strikes == Strikes::ReadCounts) {
    EXPECT_EQ(Failed(read), failed);
    // A failed read ends periodic reading; a good one leaves it running.
    EXPECT_EQ(tool.state.autoUpdateActive, failed ? 0 : 1);
    if (!failed) {
      EXPECT_TRUE(tool.CountsAreStill());
    }
  } else if (!c.connectedAfter) {
    // A failed connect leaves no connection open on the device.
    EXPECT_TRUE(sim.AllConnectionsClosed()) << sim.Log();
  }
  if (c.logged == std::string("no answer")) {
    EXPECT_EQ(sim.CountLogLines("-- connected from"), 0);  // no connection was tried
  }

  // Once the fault has cleared, the operator's next try works: connect again
  // where the connection failed or was lost, then read.
  tool.frontEnd.messages.clear();
  if (c.message == kClosedByPeerText) tool.Disconnect();
  if (!c.connectedAfter || !tool.channel.IsOpen(net::Slot::MainSlot)) {
    ASSERT_EQ(tool.Connect(), device::ConnectResult::Connected)
        << ::testing::PrintToString(tool.frontEnd.messages);
  }
  EXPECT_EQ(tool.ReadAllCounts(), kStatusOk);
  EXPECT_TRUE(tool.CountsAreStill());
  EXPECT_TRUE(tool.frontEnd.messages.empty()) << ::testing::PrintToString(tool.frontEnd.messages);
}

INSTANTIATE_TEST_SUITE_P(Matrix, CoreFaults, ::testing::ValuesIn(FaultCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The product's own waits: a device that does not answer a counter read
// costs the operator the whole 10 s receive time-out, and no more.
TEST(CoreFaultsRealTimeouts, NoReplyWaitsTheTenSecondReceiveTimeout) {
  std::vector<std::string> options = StillCounters();
  options.push_back("--no-reply=PG:1");
  SimProcess sim(kFaultSimAddress, options);
  ASSERT_TRUE(sim.ready());
  FaultTool tool(sim, net::ChannelTimeouts{}, net::ProbeSettings{});
  ASSERT_EQ(tool.Connect(), device::ConnectResult::Connected);

  const long long ms = MillisecondsOf([&] { EXPECT_EQ(tool.commands.ReadCount(0), kStatusFail); });
  EXPECT_EQ(tool.frontEnd.messages, std::vector<std::string>{kTimedOutText});
  EXPECT_GE(ms, 10000);
  EXPECT_LE(ms, 10000 + kFaultSlackMs);
  EXPECT_EQ(tool.commands.ReadCount(0), kStatusOk);
}

}  // namespace
}  // namespace kestrel::testing
