#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include "net/Probe.h"
#include "tests/support/PeerSockets.h"
#include "tests/support/UdpResponder.h"

namespace kestrel::net {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::Ipv4;
using testing::UdpResponder;

constexpr ProbeSettings kShortProbe{0, 150, 150, 1};  // devicePort is set per test

const Bytes kF6{0x00, 0x00, 0x00, 0xF6};
const Bytes kLN{0x4C, 0x4E};
const Bytes kF8{0x00, 0x00, 0x00, 0xF8};
const Bytes kF4{0x00, 0x00, 0x00, 0xF4};

Bytes ProbeReply(const std::string& code, std::size_t length = 30) {
  Bytes reply(length, 0x11);
  for (std::size_t k = 0; k < code.size() && 8 + k < length; ++k)
    reply[8 + k] = static_cast<std::uint8_t>(code[k]);
  return reply;
}

// An F4 reply: 16 header bytes, then the text field filled from `text`;
// `length` cuts the datagram short or makes it too long.
Bytes TextReply(const std::string& text, std::size_t length = 33) {
  Bytes reply(length, 0);
  for (std::size_t k = 0; k < text.size() && 16 + k < length; ++k)
    reply[16 + k] = static_cast<std::uint8_t>(text[k]);
  return reply;
}

struct Device {
  std::optional<Bytes> probeReply;
  std::optional<Bytes> f8Reply = Bytes(40, 0x22);
  std::optional<Bytes> f4Reply = TextReply("SX-GC2\0", 33);
};

UdpResponder::Handler Answering(Device d) {
  return [d](const Bytes& datagram) -> std::optional<Bytes> {
    if (datagram == kF6) return d.probeReply;
    if (datagram == kF8) return d.f8Reply;
    if (datagram == kF4) return d.f4Reply;
    return std::nullopt;
  };
}

// A port as a socket address record holds it: in network byte order.
std::uint16_t RecordPort(std::uint16_t port) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(port >> 8),
                                 static_cast<std::uint8_t>(port & 0xFF)};
  std::uint16_t record = 0;
  std::memcpy(&record, bytes, sizeof record);
  return record;
}

struct Outcome {
  std::int32_t result;
  DeviceState state;
  std::vector<Bytes> sent;  // datagrams as the responder saw them
  std::vector<UdpResponder::Received> received;
  std::uint16_t devicePort;
  std::uint16_t otherPort;
  std::uint32_t answerAddress;  // where the responder's answers came from
};

constexpr std::int32_t kUntouchedKind = 42;

Outcome Probe(Device device, bool answerFromOtherPort = false, const std::string& address = "127.0.3.2",
              std::uint32_t responderAddress = Ipv4(127, 0, 3, 2)) {
  UdpResponder responder(Answering(std::move(device)),
                         {responderAddress, 0, answerFromOtherPort});
  Outcome out;
  out.state.localAddress = Ipv4(127, 0, 3, 1);
  out.state.protocolFamily = ProtocolFamily::Unknown;
  out.state.probeKind = kUntouchedKind;
  ProbeSettings settings = kShortProbe;
  settings.devicePort = responder.port();
  const int sockets = testing::peer::OpenSocketCount();
  out.result = ProbeDevice(out.state, address, settings);
  EXPECT_EQ(testing::peer::OpenSocketCount(), sockets) << "the probe socket must be closed";
  out.received = responder.Stop();
  for (const auto& r : out.received) out.sent.push_back(r.bytes);
  out.devicePort = responder.port();
  out.otherPort = responder.otherPort();
  out.answerAddress = responder.answerAddress();
  return out;
}

TEST(Probe, ClassifiesByProductCodeAndFollowsUp) {
  const std::vector<Bytes> noFollowUp{kF6, kLN};
  const std::vector<Bytes> f8Only{kF6, kLN, kF8};
  const std::vector<Bytes> f8AndF4{kF6, kLN, kF8, kF4};
  struct Case {
    std::string code;
    std::int32_t result;
    std::int32_t kind;
    std::vector<Bytes> sent;
  } cases[] = {
      {"X1", 0, 0, f8Only},           {"X2", 0, 0, f8Only},           {"X4", 0, 0, f8Only},
      {"X5", 0, 0, f8Only},           {"X9", 0, 0, f8Only},           {"X6", 0, 0, f8AndF4},
      {"X3", -1, 0, noFollowUp},      {"X0", -1, 0, noFollowUp},      {"_L", 0, 3, f8Only},
      {"_W", 0, 5, noFollowUp},       {"_B", 0, 7, noFollowUp},       {"_D", 0, 8, noFollowUp},
      {"_S", -1, 0, noFollowUp},      {"_T", -1, 0, noFollowUp},      {"_Q", 0, 0, f8Only},
      {"AB", -1, 0, noFollowUp},      {"x1", -1, 0, noFollowUp},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const Outcome out = Probe({ProbeReply(c.code)});
    EXPECT_EQ(out.result, c.result);
    EXPECT_EQ(out.state.probeKind, c.kind);
    EXPECT_EQ(out.state.productCode[0], c.code[0]);
    EXPECT_EQ(out.state.productCode[1], c.code[1]);
    EXPECT_EQ(out.sent, c.sent);
    EXPECT_EQ(out.state.responderAddress.family, 2);
    EXPECT_EQ(out.state.responderAddress.address, out.answerAddress);
    EXPECT_EQ(out.state.responderAddress.port, RecordPort(out.devicePort));
    EXPECT_EQ(out.state.protocolFamily, ProtocolFamily::Unknown);  // "GC" in the default F4 text
  }
}

TEST(Probe, RejectsRepliesThatCannotBeClassifiedOrFollowedUp) {
  struct Case {
    const char* name;
    Device device;
    std::int32_t kind;  // what probeKind holds afterwards
  } cases[] = {
      {"probe reply over 30 bytes", {ProbeReply("_W", 31)}, kUntouchedKind},
      {"probe reply without product code", {ProbeReply("_W", 9)}, kUntouchedKind},
      {"no F8 reply", {ProbeReply("_L"), std::nullopt}, 3},
      {"F8 reply over 124 bytes", {ProbeReply("X1"), Bytes(125, 0)}, 0},
      {"no F4 reply", {ProbeReply("X6"), Bytes(4, 0), std::nullopt}, 0},
      {"F4 reply over 33 bytes", {ProbeReply("X6"), Bytes(4, 0), TextReply("GC", 34)}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = Probe(c.device);
    EXPECT_EQ(out.result, kProbeRejected);
    EXPECT_EQ(out.state.probeKind, c.kind);
    EXPECT_EQ(out.state.protocolFamily, ProtocolFamily::Unknown);
  }
}

TEST(Probe, MarksDevicesWhoseTextLacksGC) {
  struct Case {
    const char* name;
    Bytes f4Reply;
    std::int32_t family;
  } cases[] = {
      {"GC in the text", TextReply(std::string("ABGC\0", 5)), ProtocolFamily::Unknown},
      {"text without GC", TextReply(std::string("ABCD\0", 5)), ProtocolFamily::ProbedOther},
      {"GC only after the NUL", TextReply(std::string("AB\0GC", 5)), ProtocolFamily::ProbedOther},
      {"no NUL, GC in the last two bytes", TextReply("123456789012345GC"), ProtocolFamily::Unknown},
      {"reply ends inside the text", TextReply("GC", 17), ProtocolFamily::ProbedOther},
      {"reply ends before the text", TextReply("", 10), ProtocolFamily::ProbedOther},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome out = Probe({ProbeReply("X6"), Bytes(4, 0), c.f4Reply});
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.state.protocolFamily, c.family);
  }
}

TEST(Probe, ReportsNoAnswerAfterTheWait) {
  const auto started = std::chrono::steady_clock::now();
  const Outcome out = Probe({std::nullopt});
  const auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(out.result, kProbeNoAnswer);
  EXPECT_EQ(out.state.probeKind, kUntouchedKind);
  EXPECT_GE(elapsed, std::chrono::milliseconds(kShortProbe.replyWaitMs));
  EXPECT_LT(elapsed, 3s);  // the shortened wait, not the product's 5 s
}

TEST(Probe, SendsFollowUpsToThePortTheReplyCameFrom) {
  const Outcome out = Probe({ProbeReply("X6")}, /*answerFromOtherPort=*/true);
  EXPECT_EQ(out.result, 0);
  EXPECT_EQ(out.state.responderAddress.port, RecordPort(out.otherPort));
  ASSERT_EQ(out.received.size(), 4u);
  EXPECT_FALSE(out.received[0].onOtherPort);  // F6 and LN go to the device port
  EXPECT_FALSE(out.received[1].onOtherPort);
  EXPECT_TRUE(out.received[2].onOtherPort);   // F8 and F4 to where the replies came from
  EXPECT_TRUE(out.received[3].onOtherPort);
}

// The probe goes out from the chosen interface's address (127.0.3.1), not
// from whichever address the route would pick (127.0.0.1 on loopback).
TEST(Probe, SendsFromTheLocalAddress) {
  const Outcome out = Probe({ProbeReply("X6")});
  if (out.answerAddress != Ipv4(127, 0, 3, 2))
    GTEST_SKIP() << "datagrams here leave from the interface's first address, whatever the bind";
  ASSERT_EQ(out.received.size(), 4u);
  for (const auto& r : out.received) EXPECT_EQ(r.fromAddress, Ipv4(127, 0, 3, 1));
}

// The device answers the first datagram at once; the probe still pauses
// 10 ms, as the product does, before its second datagram.
TEST(Probe, PausesTenMillisecondsBetweenItsTwoDatagrams) {
  UdpResponder responder(Answering({ProbeReply("_W")}), {Ipv4(127, 0, 3, 2), 0, false});
  DeviceState state;
  state.localAddress = Ipv4(127, 0, 3, 1);
  ProbeSettings settings;  // the product's pause
  settings.devicePort = responder.port();
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ProbeDevice(state, "127.0.3.2", settings), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 10ms);
  EXPECT_EQ(responder.Stop().size(), 2u);
}

TEST(Probe, ProbesAHostNameAtItsAddress) {
  const Outcome out = Probe({ProbeReply("_W")}, false, "localhost", Ipv4(127, 0, 0, 1));
  EXPECT_EQ(out.result, 0);
  EXPECT_EQ(out.state.probeKind, 5);
  EXPECT_EQ(out.state.responderAddress.address, Ipv4(127, 0, 0, 1));
}

}  // namespace
}  // namespace kestrel::net
