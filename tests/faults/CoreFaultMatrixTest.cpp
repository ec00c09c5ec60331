// Every fault the simulator injects, end to end through the core connect
// steps and device operations: the one message the operator sees (exact
// text), a wait bounded by the (shortened) time-outs, a consistent state
// afterwards, and the next operation working once the fault has cleared.
#include <gtest/gtest.h>

#include <thread>

#include "tests/faults/FaultTool.h"
#include "tests/support/Loopback.h"

namespace kestrel::testing {
namespace {

using namespace std::chrono_literals;

const std::string kTimedOut = "ネットワークエラー:R 10060\r\n";
const std::string kClosedByPeer = "ネットワークエラー:R 10054\r\n";
const std::string kRefused = "ネットワークエラー:C 10061\r\n";
const std::string kAbnormal = "受信データ異常\r\n";

// Added to every upper bound: the fault wait itself is in the case, this only
// covers the exchanges around it on a loaded machine (sanitizer builds run
// beside other tests).
constexpr long long kSlackMs = 1500;

enum class Strikes { Connect, ReadCounts };

struct FaultCase {
  const char* name;
  std::vector<std::string> options;
  Strikes strikes;                    // the operation the fault hits
  std::vector<std::string> messages;  // what the operator is shown
  bool connectedAfter;
  long long minMs;  // the operation waits at least this (a time-out running out)
  long long maxMs;  // and at most this plus the slack
  const char* logged;  // the simulator's note that the fault struck (the refusing
                       // port leaves none: nothing listens)
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

std::vector<FaultCase> Cases() {
  const ChannelTimeouts t = ShortChannelTimeouts();
  const ProbeSettings p = ShortProbeSettings();
  const long long receive = t.receiveMs;
  return {
      {"DelayJustUnderTheTimeout", {"--reply-delay=250:1"}, Strikes::Connect, {}, true, 250, 250,
       "reply delayed 250 ms"},
      {"DelayOverTheTimeout", {"--reply-delay=700:1"}, Strikes::Connect, {kTimedOut}, false,
       receive, receive, "reply delayed 700 ms"},
      {"NoReplyWhileConnecting", {"--no-reply=MI:1"}, Strikes::Connect, {kTimedOut}, false, receive,
       receive, "no reply to MI"},
      {"NoReplyToACounterRead", {"--no-reply=PG:1"}, Strikes::ReadCounts, {kTimedOut}, true,
       receive, receive, "no reply to PG"},
      {"StrayFrames", {"--stray-frame"}, Strikes::ReadCounts, {}, true, 0, 0, "stray frame"},
      {"Greeting", {"--greeting"}, Strikes::ReadCounts, {}, true, 0, 0, "greeting"},
      {"OneByteSegments", {"--one-byte-segments"}, Strikes::ReadCounts, {}, true, 0, 0,
       "one byte per segment"},
      {"EndlessReplyWhileConnecting", {"--endless-reply=MI:1"}, Strikes::Connect, {kAbnormal},
       false, 0, 0, "endless reply to MI"},
      {"EndlessReplyToACounterRead", {"--endless-reply=PG:1"}, Strikes::ReadCounts, {kAbnormal},
       true, 0, 0, "endless reply to PG"},
      // The connect steps of the eight-input model are eleven commands.
      {"ConnectionClosedWhileConnected", {"--close-after=11:1"}, Strikes::ReadCounts,
       {kClosedByPeer}, true, 0, 0, "closing after 11 commands"},
      {"ConfigPortRefused", {"--model", "25", "--config-refuse=1"}, Strikes::Connect, {kRefused},
       false, 0, 0, ""},
      {"ConfigDumpNeverEnds", {"--model", "25", "--config-no-end=1"}, Strikes::Connect,
       {kTimedOut}, false, receive, receive, "dump without end"},
      {"SilentDiscovery", {"--discovery-silent=1"}, Strikes::Connect, {kMsgTargetNotFound}, false,
       p.replyWaitMs, p.replyWaitMs, "no answer"},
      {"DiscoveryFromAnotherPort", {"--discovery-other-port"}, Strikes::Connect, {}, true, 0, 0,
       "answer from port"},
      {"OversizeDiscoveryReply", {"--discovery-oversize=1"}, Strikes::Connect,
       {kMsgUnsupportedModel}, false, 0, 0, "oversize answer"},
  };
}

// Every connection the simulator accepted has been closed again.
bool AllClosed(const SimProcess& sim) {
  return WaitUntil([&] {
    return sim.CountLogLines("-- connected from") == sim.CountLogLines("-- closed");
  });
}

class CoreFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(CoreFaults, OneMessageBoundedWaitConsistentStateThenRecovery) {
  const FaultCase& c = GetParam();
  std::vector<std::string> options = StillCounters();
  options.insert(options.end(), c.options.begin(), c.options.end());
  SimProcess sim(KESTREL_SIM_PATH, kFaultSimAddress, options);
  ASSERT_TRUE(sim.ready());
  FaultTool tool(sim);

  ConnectResult connected = ConnectResult::Failed;
  Status read = kStatusOk;
  long long ms = 0;
  if (c.strikes == Strikes::Connect) {
    ms = MillisecondsOf([&] { connected = tool.Connect(); });
  } else {
    ASSERT_EQ(tool.Connect(), ConnectResult::Connected) << ::testing::PrintToString(tool.port.messages);
    ASSERT_TRUE(tool.port.messages.empty());
    std::this_thread::sleep_for(20ms);  // a greeting is in before the first request
    tool.state.autoUpdateActive = 1;    // periodic reading runs
    ms = MillisecondsOf([&] { read = tool.ReadAllCounts(); });
    connected = ConnectResult::Connected;
  }

  EXPECT_EQ(tool.port.messages, c.messages);
  EXPECT_GE(ms, c.minMs);
  EXPECT_LE(ms, c.maxMs + kSlackMs);
  if (*c.logged != '\0') {
    EXPECT_GE(sim.CountLogLines(c.logged), 1) << sim.Log();
  }

  const bool failed = !c.messages.empty();
  EXPECT_EQ(connected == ConnectResult::Connected, c.connectedAfter);
  EXPECT_EQ(tool.channel.IsOpen(Slot::MainSlot), c.connectedAfter);
  EXPECT_FALSE(tool.channel.IsOpen(Slot::ConfigSlot));
  if (c.strikes == Strikes::ReadCounts) {
    EXPECT_EQ(Failed(read), failed);
    // A failed read ends periodic reading; a good one leaves it running.
    EXPECT_EQ(tool.state.autoUpdateActive, failed ? 0 : 1);
    if (!failed) {
      EXPECT_TRUE(tool.CountsAreStill());
    }
  } else if (!c.connectedAfter) {
    // A failed connect leaves no connection open on the device.
    EXPECT_TRUE(AllClosed(sim)) << sim.Log();
  }
  if (c.logged == std::string("no answer")) {
    EXPECT_EQ(sim.CountLogLines("-- connected from"), 0);  // no connection was tried
  }

  // Once the fault has cleared, the operator's next try works: connect again
  // where the connection failed or was lost, then read.
  tool.port.messages.clear();
  if (c.connectedAfter && c.messages == std::vector<std::string>{kClosedByPeer}) tool.Disconnect();
  if (!c.connectedAfter || !tool.channel.IsOpen(Slot::MainSlot)) {
    ASSERT_EQ(tool.Connect(), ConnectResult::Connected) << ::testing::PrintToString(tool.port.messages);
  }
  EXPECT_EQ(tool.ReadAllCounts(), kStatusOk);
  EXPECT_TRUE(tool.CountsAreStill());
  EXPECT_TRUE(tool.port.messages.empty()) << ::testing::PrintToString(tool.port.messages);
}

INSTANTIATE_TEST_SUITE_P(Matrix, CoreFaults, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The product's own waits: a device that does not answer a counter read
// costs the operator the whole 10 s receive time-out, and no more.
TEST(CoreFaultsRealTimeouts, NoReplyWaitsTheTenSecondReceiveTimeout) {
  std::vector<std::string> options = StillCounters();
  options.push_back("--no-reply=PG:1");
  SimProcess sim(KESTREL_SIM_PATH, kFaultSimAddress, options);
  ASSERT_TRUE(sim.ready());
  FaultTool tool(sim, ChannelTimeouts{}, ProbeSettings{});
  ASSERT_EQ(tool.Connect(), ConnectResult::Connected);

  const long long ms = MillisecondsOf([&] { EXPECT_EQ(tool.commands.ReadCount(0), kStatusFail); });
  EXPECT_EQ(tool.port.messages, std::vector<std::string>{kTimedOut});
  EXPECT_GE(ms, 10000);
  EXPECT_LE(ms, 10000 + kSlackMs);
  EXPECT_EQ(tool.commands.ReadCount(0), kStatusOk);
}

}  // namespace
}  // namespace kestrel::testing
