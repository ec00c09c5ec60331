// Discovery answers, through the project's probe and byte for byte, and the
// configuration dump through the channel's configuration-port exchange.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "common/Protocol.h"
#include "net/Probe.h"
#include "net/Socket.h"
#include "sim/EventLoop.h"
#include "sim/SimServer.h"
#include "tests/sim/SimClient.h"
#include "tests/support/Loopback.h"

namespace kestrel::sim {
namespace {

using kestrel::testing::Ipv4;
using testing::Client;
using testing::kSimAddress;
using testing::LoopbackSimConfig;
using testing::SimThread;

net::ProbeSettings QuickProbe(const SimThread& sim) {
  net::ProbeSettings settings;
  settings.devicePort = sim.ports().discovery;
  settings.replyWaitMs = 500;
  settings.followUpReceiveMs = 300;
  return settings;
}

DeviceState ProbeState() {
  DeviceState state;
  state.localAddress = Ipv4(127, 0, 4, 1);
  state.protocolFamily = ProtocolFamily::Unknown;
  return state;
}

TEST(SimDiscovery, TheProjectsProbeAcceptsAndClassifiesTheDevice) {
  const struct {
    const char* code;
    const char* text;
    std::int32_t kind;
    std::int32_t family;
  } cases[] = {
      {"X6", "KESTREL-SIM GC", 0, ProtocolFamily::Unknown},  // the defaults
      {"X6", "NO MARK", 0, ProtocolFamily::ProbedOther},
      {"X1", "", 0, ProtocolFamily::Unknown},
      {"_Q", "", 0, ProtocolFamily::Unknown},
      {"_W", "", 5, ProtocolFamily::Unknown},
  };
  for (const auto& c : cases) {
    SimConfig config = LoopbackSimConfig(kSimAddress);
    config.productCode = {c.code[0], c.code[1]};
    config.text = c.text;
    SimThread sim(config);
    DeviceState state = ProbeState();
    EXPECT_EQ(net::ProbeDevice(state, kSimAddress, QuickProbe(sim)), 0) << c.code;
    EXPECT_EQ(std::string(state.productCode.data(), 2), c.code);
    EXPECT_EQ(state.probeKind, c.kind) << c.code;
    EXPECT_EQ(state.protocolFamily, c.family) << c.code << " " << c.text;
  }
}

// A plain UDP socket on the sim's loopback address.
class RawUdp {
 public:
  explicit RawUdp(std::uint16_t port) : peer_{Ipv4(127, 0, 4, 1), port} {
    EXPECT_EQ(net::CreateSocket(net::SocketKind::Datagram, s_), 0);
    EXPECT_EQ(net::Bind(s_, {Ipv4(127, 0, 4, 1), 0}), 0);
    EXPECT_EQ(net::SetReceiveTimeout(s_, 300), 0);
  }
  ~RawUdp() { net::CloseSocket(s_); }
  // The answer to `datagram`, empty when none came.
  Bytes Ask(const Bytes& datagram) {
    EXPECT_EQ(net::SendTo(s_, datagram.data(), datagram.size(), peer_), 0);
    Bytes answer(256);
    std::size_t received = 0;
    net::Endpoint from;
    if (net::ReceiveFrom(s_, answer.data(), answer.size(), received, from) != 0) return {};
    answer.resize(received);
    return answer;
  }

 private:
  net::SocketHandle s_ = net::kInvalidSocket;
  net::Endpoint peer_;
};

TEST(SimDiscovery, AnswersHaveTheirSizesAndFields) {
  for (const std::string text : {"KESTREL-SIM GC", "SEVENTEEN-BYTES-G"}) {
    SimConfig config = LoopbackSimConfig(kSimAddress);
    config.text = text;
    SimThread sim(config);
    RawUdp udp(sim.ports().discovery);

    const Bytes probe = udp.Ask({0x00, 0x00, 0x00, 0xF6});
    ASSERT_EQ(probe.size(), protocol::kProbeReplyBuffer);
    EXPECT_EQ(probe[8], 'X');
    EXPECT_EQ(probe[9], '6');
    EXPECT_EQ(udp.Ask({0x00, 0x00, 0x00, 0xF8}).size(), protocol::kFollowUpReplyBuffer);

    const Bytes f4 = udp.Ask({0x00, 0x00, 0x00, 0xF4});
    ASSERT_EQ(f4.size(), protocol::kTextReplyBuffer);
    Bytes field(text.begin(), text.end());
    field.resize(17, 0);  // NUL-padded when shorter than the 17-byte field
    EXPECT_EQ(Bytes(f4.begin() + 16, f4.end()), field) << text;
  }
}

TEST(SimDiscovery, IgnoresTheCompanionDatagramAndAnythingElse) {
  SimThread sim(LoopbackSimConfig(kSimAddress));
  RawUdp udp(sim.ports().discovery);
  for (const Bytes& datagram : {Bytes{0x4C, 0x4E}, Bytes{0x00, 0x00, 0x00, 0xF6, 0x00},
                                Bytes{0x00, 0x00, 0x00, 0xF5}, Bytes{0xF6}}) {
    EXPECT_TRUE(udp.Ask(datagram).empty()) << HexBytes(datagram.data(), datagram.size());
  }
  EXPECT_EQ(udp.Ask({0x00, 0x00, 0x00, 0xF6}).size(), 30u);
}

TEST(SimConfigPort, DumpEndsWithEndAndCarriesMode) {
  for (const std::string mode : {"0", "1"}) {
    SimConfig config = LoopbackSimConfig(kSimAddress);
    config.modeValue = mode;
    SimThread sim(config);
    Client client(sim);
    ASSERT_TRUE(client.Open());
    const auto dump = client.Dump();
    ASSERT_TRUE(dump) << client.state.lastError;
    ASSERT_GE(dump->size(), 7u);
    EXPECT_EQ(dump->substr(dump->size() - 7), "END\r\n\r\n");
    // Name and value lines pair up before the closing name line.
    std::string found;
    std::size_t at = 0;
    for (;;) {
      const std::size_t nameEnd = dump->find("\r\n", at);
      ASSERT_NE(nameEnd, std::string::npos);
      const std::string name = dump->substr(at, nameEnd - at);
      if (name == "END") break;
      const std::size_t valueEnd = dump->find("\r\n", nameEnd + 2);
      ASSERT_NE(valueEnd, std::string::npos);
      if (name == "MODE") found = dump->substr(nameEnd + 2, valueEnd - nameEnd - 2);
      at = valueEnd + 2;
    }
    EXPECT_EQ(found, mode);
    // The exchange gave the main connection back.
    EXPECT_TRUE(client.channel.IsOpen(net::Slot::MainSlot));
    EXPECT_FALSE(client.channel.IsOpen(net::Slot::ConfigSlot));
  }
}

// What a device holds open while idle is what a fleet's size is bounded by:
// counted on the process, not taken from the server's own figure.
TEST(SimConfigPort, OnlyALoneDeviceOrTheCheckedFamilyOpensIt) {
  const auto openDescriptors = [] {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return std::distance(begin(fds), end(fds));
  };
  const struct {
    std::uint32_t devices;
    std::int32_t model;
    bool refuse;
    long descriptors;
  } cases[] = {
      {1, 21, false, 3}, {2, 21, false, 2}, {2, 25, false, 3}, {2, 21, true, 3},
  };
  EventLoop loop;
  for (const auto& c : cases) {
    SimConfig config = LoopbackSimConfig(kSimAddress);
    config.devices = c.devices;
    config.modelIndex = c.model;
    config.fault(FaultKind::ConfigRefuse).on = c.refuse;
    const auto before = openDescriptors();
    SimServer server(config, nullptr, &loop);
    ASSERT_EQ(server.Open(), "") << c.model;
    EXPECT_EQ(openDescriptors() - before, c.descriptors) << c.devices << " " << c.model;
    EXPECT_EQ(static_cast<long>(SimServer::IdleDescriptors(config)), c.descriptors) << c.model;
    EXPECT_EQ(server.configPort() != 0, c.descriptors == 3) << c.model;
  }
}

}  // namespace
}  // namespace kestrel::sim
