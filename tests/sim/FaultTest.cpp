// Each injectable fault once: what the tool's channel and probe see, and that
// a counted fault clears itself.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/Protocol.h"
#include "net/Probe.h"
#include "net/Socket.h"
#include "tests/sim/SimClient.h"
#include "tests/support/Loopback.h"

namespace kestrel::sim {
namespace {

using namespace std::chrono_literals;
using kestrel::testing::Ipv4;
using testing::Client;
using testing::kSimAddress;
using testing::LoopbackSimConfig;
using testing::SimThread;

constexpr std::uint8_t T = protocol::kCommandTerminator;
const Bytes kReadMode{'P', 'J', T};
const Bytes kReadCounter{'P', 'G', 0x20, T};

SimConfig WithFault(FaultKind kind, std::uint32_t times = 0, std::uint32_t value = 0,
                    protocol::CommandLetters command = {0, 0}) {
  SimConfig config = LoopbackSimConfig(kSimAddress);
  config.fault(kind) = {true, times, value, command};
  return config;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(SimFaults, ReplyFaultsThatTheChannelRidesOut) {
  // Greeting, stray frame and one-byte segments: every exchange still gets
  // its own reply, byte for byte.
  const struct {
    FaultKind kind;
    const char* logged;
  } cases[] = {
      {FaultKind::Greeting, "fault: greeting"},
      {FaultKind::StrayFrame, "fault: stray frame"},
      {FaultKind::OneByteSegments, "fault: one byte per segment"},
  };
  for (const auto& c : cases) {
    SimThread sim(WithFault(c.kind));
    Client client(sim);
    ASSERT_TRUE(client.Open());
    // A greeting must be there before the request for the drain to take it.
    std::this_thread::sleep_for(100ms);
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(client.Exchange(kReadMode), (Bytes{0x70, 0x6A, 0x2A, 0x20, T})) << c.logged;
    EXPECT_TRUE(Contains(sim.Log(), c.logged)) << c.logged;
  }
}

// The raw bytes of the faults above, as a plain socket sees them.
class RawTcp {
 public:
  explicit RawTcp(std::uint16_t port) {
    EXPECT_EQ(net::CreateSocket(net::SocketKind::Stream, s_), 0);
    int error = 0;
    EXPECT_TRUE(net::ConnectWithin(s_, {Ipv4(127, 0, 4, 1), port}, 500, error));
    EXPECT_EQ(net::SetReceiveTimeout(s_, 500), 0);
  }
  ~RawTcp() { net::CloseSocket(s_); }
  void Send(const Bytes& b) {
    std::size_t sent = 0;
    EXPECT_EQ(net::Send(s_, b.data(), b.size(), sent), 0);
  }
  // Exactly `n` bytes, or fewer when the time-out strikes first.
  Bytes Read(std::size_t n) {
    Bytes data(n);
    std::size_t have = 0;
    while (have < n) {
      std::size_t got = 0;
      if (net::Receive(s_, data.data() + have, n - have, got) != 0 || got == 0) break;
      have += got;
    }
    data.resize(have);
    return data;
  }

 private:
  net::SocketHandle s_ = net::kInvalidSocket;
};

TEST(SimFaults, GreetingStrayFrameAndSegmentsOnTheWire) {
  SimThread greeting(WithFault(FaultKind::Greeting));
  RawTcp a(greeting.ports().command);
  const std::string hello = "KESTREL-SIM\r\n";
  EXPECT_EQ(a.Read(hello.size()), Bytes(hello.begin(), hello.end()));

  SimThread stray(WithFault(FaultKind::StrayFrame));
  RawTcp b(stray.ports().command);
  b.Send(kReadMode);
  EXPECT_EQ(b.Read(9), (Bytes{0x7A, 0x7A, 0x20, T, 0x70, 0x6A, 0x2A, 0x20, T}));

  // Twelve bytes with 2 ms between them cannot arrive in less than 22 ms.
  SimThread segments(WithFault(FaultKind::OneByteSegments));
  RawTcp c(segments.ports().command);
  const auto start = std::chrono::steady_clock::now();
  c.Send(kReadCounter);
  EXPECT_EQ(c.Read(12).size(), 12u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 22ms);
}

TEST(SimFaults, CountedReplyFaultsFailTheExchangeThenClear) {
  const struct {
    const char* name;
    SimConfig config;
    std::string error;
  } cases[] = {
      {"no reply", WithFault(FaultKind::NoReply, 1, 0, protocol::kReadCounter),
       "ネットワークエラー:R 10060\r\n"},
      {"delay beyond the time-out", WithFault(FaultKind::ReplyDelay, 1, 700),
       "ネットワークエラー:R 10060\r\n"},
      {"endless reply", WithFault(FaultKind::EndlessReply, 1, 0, protocol::kReadCounter),
       "受信データ異常\r\n"},
  };
  for (const auto& c : cases) {
    SimThread sim(c.config);
    Client client(sim);
    ASSERT_TRUE(client.Open());
    EXPECT_FALSE(client.Exchange(kReadCounter)) << c.name;
    EXPECT_EQ(client.state.lastError, c.error) << c.name;
    // A late or surplus reply to the failed request never passes for the
    // next one's.
    EXPECT_EQ(client.Exchange(kReadMode), (Bytes{0x70, 0x6A, 0x2A, 0x20, T})) << c.name;
    const auto counter = client.Exchange(kReadCounter);
    ASSERT_TRUE(counter) << c.name << ": " << client.state.lastError;
    EXPECT_EQ(counter->size(), 12u);
  }
}

TEST(SimFaults, NoReplyNamesOneCommandAndTheCommandStillActs) {
  SimThread sim(WithFault(FaultKind::NoReply, 0, 0, protocol::kWritePulseMode));
  Client client(sim, {500, 500, 200, 1000, 10});
  ASSERT_TRUE(client.Open());
  EXPECT_FALSE(client.Exchange({'P', 'L', 0x26, 0x24, T}));
  EXPECT_EQ(client.Exchange(kReadMode), (Bytes{0x70, 0x6A, 0x26, 0x24, T}));
}

TEST(SimFaults, DelayShorterThanTheTimeOutOnlySlowsTheReply) {
  SimThread sim(WithFault(FaultKind::ReplyDelay, 0, 150));
  Client client(sim);
  ASSERT_TRUE(client.Open());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(client.Exchange(kReadMode));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
}

TEST(SimFaults, CloseAfterCommandsEndsTheConnectionOnce) {
  SimThread sim(WithFault(FaultKind::CloseAfter, 1, 2));
  Client client(sim);
  ASSERT_TRUE(client.Open());
  EXPECT_TRUE(client.Exchange(kReadMode));
  EXPECT_TRUE(client.Exchange(kReadMode));  // answered, then the device hangs up
  EXPECT_FALSE(client.Exchange(kReadMode));
  ASSERT_TRUE(client.Open());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(client.Exchange(kReadMode)) << "cleared, " << i;
  EXPECT_TRUE(Contains(sim.Log(), "client 1 -- closed by fault"));
}

TEST(SimFaults, ConfigurationPortRefusesThenListens) {
  SimThread sim(WithFault(FaultKind::ConfigRefuse, 1));
  Client client(sim);
  ASSERT_TRUE(client.Open());  // first connection attempt of the tool
  EXPECT_TRUE(client.Exchange(kReadMode));
  EXPECT_FALSE(client.Dump());
  EXPECT_EQ(client.state.lastError, "ネットワークエラー:C 10061\r\n");
  EXPECT_FALSE(client.channel.IsOpen(net::Slot::MainSlot));
  ASSERT_TRUE(client.Open());  // the next attempt finds the port listening
  EXPECT_TRUE(client.Exchange(kReadMode));  // as the tool identifies first
  EXPECT_TRUE(client.Dump()) << client.state.lastError;
}

TEST(SimFaults, ConfigurationDumpThatNeverEnds) {
  SimThread sim(WithFault(FaultKind::ConfigNoEnd, 1));
  Client client(sim);
  ASSERT_TRUE(client.Open());
  EXPECT_FALSE(client.Dump());
  EXPECT_EQ(client.state.lastError, "ネットワークエラー:R 10060\r\n");
  ASSERT_TRUE(client.Open());
  EXPECT_TRUE(client.Dump()) << client.state.lastError;
}

net::ProbeSettings QuickProbe(const SimThread& sim) {
  net::ProbeSettings settings;
  settings.devicePort = sim.ports().discovery;
  settings.replyWaitMs = 300;
  settings.followUpReceiveMs = 300;
  return settings;
}

TEST(SimFaults, DiscoveryFaults) {
  const struct {
    const char* name;
    FaultKind kind;
    std::int32_t firstResult;
  } cases[] = {
      {"silent", FaultKind::DiscoverySilent, net::kProbeNoAnswer},
      {"oversize", FaultKind::DiscoveryOversize, net::kProbeRejected},
  };
  for (const auto& c : cases) {
    SimThread sim(WithFault(c.kind, 1));
    DeviceState state;
    state.localAddress = Ipv4(127, 0, 4, 1);
    EXPECT_EQ(net::ProbeDevice(state, kSimAddress, QuickProbe(sim)), c.firstResult) << c.name;
    EXPECT_EQ(net::ProbeDevice(state, kSimAddress, QuickProbe(sim)), 0) << c.name;
  }

  // Answers from another port: the follow-ups go there and are answered.
  SimThread sim(WithFault(FaultKind::DiscoveryOtherPort));
  ASSERT_NE(sim.server().otherDiscoveryPort(), 0);
  ASSERT_NE(sim.server().otherDiscoveryPort(), sim.ports().discovery);
  DeviceState state;
  state.localAddress = Ipv4(127, 0, 4, 1);
  EXPECT_EQ(net::ProbeDevice(state, kSimAddress, QuickProbe(sim)), 0);
  EXPECT_EQ(ntohs(state.responderAddress.port), sim.server().otherDiscoveryPort());
}

}  // namespace
}  // namespace kestrel::sim
