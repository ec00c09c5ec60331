#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "device/Connect.h"
#include "device/ModeCheck.h"
#include "tests/device/DeviceFixture.h"
#include "tests/support/UdpResponder.h"

namespace kestrel::device {
namespace {

using testing::UdpResponder;

// Failing table cases print by name instead of as raw bytes.
template <class Case>
  requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

const Bytes kProbeQuery{0x00, 0x00, 0x00, 0xF6};

ConnectSettings ShortSettings() {
  ConnectSettings s;
  s.probe.replyWaitMs = 300;
  s.probe.followUpReceiveMs = 200;
  s.probe.pauseMs = 1;
  return s;
}

// A port on the device address where nothing listens: taken from a listener
// that is gone again.
std::uint16_t ClosedPort() {
  ScriptedTcpPeer::Options options;
  options.address = DeviceAddress();
  ScriptedTcpPeer gone(ScriptedTcpPeer::InOrder({}), options);
  return gone.port();
}

// ---- entries refused before anything is sent ---------------------------

struct EntryCase {
  const char* name;
  const char* address;
  const char* port;
  const char* message;
  std::optional<std::int32_t> portStored;
};

class Entry : public DeviceTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(Entry, IsRefusedWithItsMessage) {
  const EntryCase& c = GetParam();
  state.port = 4242;
  EXPECT_EQ(ConnectDevice(commands, c.address, c.port, ShortSettings()), ConnectResult::InvalidEntry);
  EXPECT_EQ(frontEnd.messages, std::vector<std::string>{c.message});
  EXPECT_EQ(state.port, c.portStored.value_or(4242));
  EXPECT_FALSE(channel.IsOpen(net::Slot::MainSlot));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Entry,
    ::testing::Values(
        EntryCase{"EmptyAddress", "", "10003", kMsgInvalidIpAddress, std::nullopt},
        EntryCase{"BlankAddress", " \t\r\n\v\f", "10003", kMsgInvalidIpAddress, std::nullopt},
        EntryCase{"BlankPort", "127.0.2.2", "  \t", kMsgInvalidPort, std::nullopt},
        // Empty labels are refused by the resolver itself, so no name query
        // ever leaves the machine.
        EntryCase{"UnresolvableName", "bad..name", "10003", kMsgInvalidAddress, std::nullopt},
        EntryCase{"LettersOnly", "127.0.2.2", "abc", kMsgInvalidPort, 0},
        EntryCase{"Zero", "127.0.2.2", " 0 ", kMsgInvalidPort, 0},
        EntryCase{"Negative", "127.0.2.2", "-1", kMsgInvalidPort, -1},
        EntryCase{"AboveRange", "127.0.2.2", "65536", kMsgInvalidPort, 65536},
        EntryCase{"BeyondThirtyTwoBits", "127.0.2.2", "99999999999", kMsgInvalidPort,
                  2147483647}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the whole attempt against a loopback device -----------------------

struct FlowCase {
  const char* name;
  const char* productCode;  // nullptr: the probe goes unanswered
  bool mainListening;
  std::vector<std::vector<PeerAction>> answers;  // main port, in order
  const char* dump;  // configuration port's answer; nullptr: nothing listens there
  ConnectResult result;
  std::string messagePrefix;  // empty: no message at all
  int mainConnections;
  // Blanks around the address and letters after the port number are no
  // fault: the trimmed address and the leading number are what is used.
  const char* addressText = kDeviceAddressText;
  const char* portSuffix = "";
  std::int32_t familyBefore = ProtocolFamily::Unknown;  // left by an earlier device
};

class Flow : public DeviceTest, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(Flow, EndsAsExpected) {
  const FlowCase& c = GetParam();
  const std::string code = c.productCode != nullptr ? c.productCode : "";
  UdpResponder responder(
      [code](const Bytes& datagram) -> std::optional<Bytes> {
        if (code.empty() || datagram != kProbeQuery) return std::nullopt;
        Bytes reply(30, 0);
        reply[8] = static_cast<std::uint8_t>(code[0]);
        reply[9] = static_cast<std::uint8_t>(code[1]);
        return reply;
      },
      {DeviceAddress(), 0, false});
  ScriptedTcpPeer::Options options;
  options.address = DeviceAddress();
  if (c.mainListening)
    peer = std::make_unique<ScriptedTcpPeer>(ScriptedTcpPeer::InOrder(c.answers), options);
  std::unique_ptr<ScriptedTcpPeer> config;
  if (c.dump != nullptr)
    config = std::make_unique<ScriptedTcpPeer>(
        ScriptedTcpPeer::InOrder({{PeerAction::Send(Bytes(c.dump, c.dump + std::strlen(c.dump)))}}),
        options);

  ConnectSettings settings = ShortSettings();
  settings.probe.devicePort = responder.port();
  settings.configPort = config ? config->port() : ClosedPort();
  const std::uint16_t mainPort = peer ? peer->port() : ClosedPort();

  state.protocolFamily = c.familyBefore;
  EXPECT_EQ(ConnectDevice(commands, c.addressText, std::to_string(mainPort) + c.portSuffix, settings),
            c.result);
  EXPECT_EQ(state.deviceAddress, kDeviceAddressText);
  EXPECT_EQ(state.port, mainPort);
  if (c.messagePrefix.empty()) {
    EXPECT_TRUE(frontEnd.messages.empty()) << frontEnd.messages.front();
  } else {
    ASSERT_EQ(frontEnd.messages.size(), 1u);
    EXPECT_EQ(frontEnd.messages[0].rfind(c.messagePrefix, 0), 0u) << frontEnd.messages[0];
  }
  if (peer) {
    // The connect completes before the device's thread gets round to
    // accepting it; on a slow machine it may still be queued here.
    testing::WaitUntil([&] { return peer->accepted() >= c.mainConnections; });
    EXPECT_EQ(peer->accepted(), c.mainConnections);
  }
  // The mode check reopens the main connection; without it the
  // configuration port stays untouched.
  if (config && c.mainConnections < 2) {
    EXPECT_EQ(config->accepted(), 0);
  }
  if (config && config->accepted() > 0) {
    const std::string query = "DUMP\nEND\n";
    EXPECT_EQ(config->requests(), std::vector<Bytes>{Bytes(query.begin(), query.end())});
  }

  EXPECT_FALSE(channel.IsOpen(net::Slot::ConfigSlot));
  EXPECT_EQ(channel.IsOpen(net::Slot::MainSlot), c.result == ConnectResult::Connected);
  // A refused or failed attempt leaves no connection behind at the device.
  if (peer && c.result != ConnectResult::Connected) {
    EXPECT_TRUE(testing::WaitUntil([&] { return peer->open() == 0; }));
  }
}

const char kModeOne[] = "IP\r\n127.0.2.2\r\nMODE\r\n1\r\nEND\r\n\r\n";
const char kModeZero[] = "MODE\r\n0\r\nEND\r\n\r\n";
std::vector<std::vector<PeerAction>> Identified(Bytes mi, bool withSettings) {
  std::vector<std::vector<PeerAction>> a{Answer(Frame("mi", mi))};
  if (withSettings) {
    a.push_back(Answer(Frame("pj", Bytes{0x22, 0x24})));
    a.push_back(Answer(Frame("pp", Bytes{0x20})));
    a.push_back(Answer(Frame("ph", Bytes{0x20, 0x21})));
    a.push_back(Answer(Frame("ph", Bytes{0x21, 0x22})));
  }
  return a;
}
const Bytes kModelTwoInputs{0x30, 0x31};
const Bytes kModelNoInputs{0x30, 0x33};
const Bytes kModelFamilyFive{0x30, 0x3F, 0x39};

INSTANTIATE_TEST_SUITE_P(
    Attempts, Flow,
    ::testing::Values(
        FlowCase{"Connects", "_W", true, Identified(kModelTwoInputs, true), nullptr,
                 ConnectResult::Connected, "", 1, " \t127.0.2.2 \r\n", "abc"},
        FlowCase{"ProbeUnanswered", nullptr, true, {}, nullptr, ConnectResult::Failed,
                 kMsgTargetNotFound, 0},
        FlowCase{"ProbeRejected", "_S", true, {}, nullptr, ConnectResult::Refused,
                 kMsgUnsupportedModel, 0},
        FlowCase{"MainPortClosed", "_W", false, {}, nullptr, ConnectResult::Failed,
                 "ネットワークエラー:C 10061\r\n", 0},
        FlowCase{"IdentificationFails", "_W", true, {Answer(Frame("mi", Bytes{0x30}))}, nullptr,
                 ConnectResult::Failed, kMsgReplyDataError, 1},
        FlowCase{"ModelWithoutInputs", "_W", true, Identified(kModelNoInputs, false), nullptr,
                 ConnectResult::Refused, kMsgUnsupportedModel, 1},
        FlowCase{"SpontaneousMode", "_W", true, Identified(kModelFamilyFive, false), kModeOne,
                 ConnectResult::Refused, kMsgSpontaneousMode, 2},
        // The family of an earlier device does not send a plain model to
        // the mode check (nothing listens on the configuration port here).
        FlowCase{"PlainModelAfterAFamilyFiveDevice", "_W", true, Identified(kModelTwoInputs, true),
                 nullptr, ConnectResult::Connected, "", 1, kDeviceAddressText, "",
                 ProtocolFamily::ConfigPort},
        FlowCase{"ModeCheckPasses", "_W", true, Identified(kModelFamilyFive, true), kModeZero,
                 ConnectResult::Connected, "", 2},
        FlowCase{"ConfigPortClosed", "_W", true, Identified(kModelFamilyFive, false), nullptr,
                 ConnectResult::Failed, "ネットワークエラー:C ", 1},
        FlowCase{"SettingsReadFails", "_W", true, {Answer(Frame("mi", kModelTwoInputs)), Drop()},
                 nullptr, ConnectResult::Failed, "ネットワークエラー:R ", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Models without inputs are refused once identified, before the mode check
// would reach the configuration port (which listens here): the family-5
// models 24 and 27 to 31, model 20 and rows without a model.
FlowCase RefusedModel(const char* name, Bytes mi) {
  return {name, "_W", true, Identified(std::move(mi), false), kModeZero, ConnectResult::Refused,
          kMsgUnsupportedModel, 1};
}

INSTANTIATE_TEST_SUITE_P(
    ModelsWithoutInputs, Flow,
    ::testing::Values(RefusedModel("Model24", {0x30, 0x3F, 0x38}),
                      RefusedModel("Model27", {0x30, 0x3F, 0x3B}),
                      RefusedModel("Model28", {0x30, 0x3F, 0x3C}),
                      RefusedModel("Model29", {0x30, 0x3F, 0x3D}),
                      RefusedModel("Model30", {0x30, 0x3F, 0x3E}),
                      RefusedModel("Model31", {0x30, 0x3F, 0x3F}),
                      RefusedModel("Model20", {0x30, 0x3F, 0x34}),
                      RefusedModel("UnnamedRow7", {0x30, 0x37}),
                      RefusedModel("UnnamedRow23", {0x30, 0x3F, 0x37})),
    [](const auto& info) { return std::string(info.param.name); });

// ---- disconnect --------------------------------------------------------

TEST_F(DeviceTest, DisconnectStopsAutoUpdateClearsFlagsAndSendsNothing) {
  Connect({});
  state.autoUpdateActive = 1;
  state.countingOn = 1;
  state.startStopRunning = 1;
  DisconnectDevice(commands);
  EXPECT_EQ(frontEnd.events, std::vector<std::string>{"stop-auto-update"});
  EXPECT_EQ(state.autoUpdateActive, 0);
  EXPECT_EQ(state.countingOn, 0);
  EXPECT_EQ(state.startStopRunning, 0);
  EXPECT_FALSE(channel.IsOpen(net::Slot::MainSlot));
  EXPECT_TRUE(testing::WaitUntil([&] { return peer->open() == 0; }));
  EXPECT_TRUE(Requests().empty());

  // Without periodic reading there is nothing to stop.
  frontEnd.events.clear();
  DisconnectDevice(commands);
  EXPECT_TRUE(frontEnd.events.empty());
}

}  // namespace
}  // namespace kestrel::device
