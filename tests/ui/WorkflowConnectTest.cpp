// Connecting and disconnecting from the window against kestrel-sim: the
// models it takes and refuses, the entries it refuses before any traffic,
// and what a disconnect leaves behind.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "common/ModelTable.h"
#include "device/ModeCheck.h"
#include "framework/WindowStyles.h"
#include "framework/testing/OperatorInput.h"
#include "tests/ui/WorkflowFixture.h"

namespace kestrel::ui {
namespace {

using fw::testing::Click;
using fw::testing::RunModalScript;
using ui::PrintTo;

struct SupportedCase {
  const char* name;
  std::int32_t model;
  const char* modelText;
  int inputs;
  bool countingOn;
  Shown shown;
  std::int32_t period;
  std::int32_t chatter;
  bool configQueried;  // family 5: the mode is checked on the configuration port
  bool gateRunning = false;
};

class ConnectsTo : public WindowWithSim, public ::testing::WithParamInterface<SupportedCase> {};

// The address is typed with blanks around it: the probe and the connection
// use the text without them.
TEST_P(ConnectsTo, ShowsIdentityAndSettingsThenDisconnectsSendingNothing) {
  const SupportedCase& c = GetParam();
  StartSim([&](sim::SimConfig& s) {
    s.modelIndex = c.model;
    s.unitId = 9;
    s.countingOn = c.countingOn;
    s.countPeriod = c.period;
    s.chatterCode = c.chatter;
    s.gateRunning = c.gateRunning;
    s.inputs[1].edge = 1;
    s.inputs[2].enabled = false;
  });
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    ExpectWindowState(Shown::NotConnected, false);
    PressConnect(std::string(" \t") + kDeviceAddress + "  ");
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
    EXPECT_EQ(state.deviceAddress, kDeviceAddress);
    EXPECT_EQ(d.AddressEdit.GetWindowText(), std::string(" \t") + kDeviceAddress + "  ");
    EXPECT_EQ(d.ModelText.GetWindowText(), c.modelText);
    EXPECT_EQ(d.UnitIdText.GetWindowText(), "9");
    EXPECT_EQ(CurrentInputCount(state), c.inputs);
    EXPECT_EQ(d.InputControls.EdgeList[1]->GetCurSel(), 1);
    EXPECT_EQ(d.InputControls.EnableCheck[2]->GetCheck(), fw::BST_UNCHECKED);
    ExpectWindowState(c.shown);

    Click(d.ConnectButton);
    EXPECT_FALSE(d.channel.IsOpen(net::Slot::MainSlot));
    EXPECT_EQ(state.countingOn, 0);
    ExpectWindowState(Shown::NotConnected);
    EXPECT_EQ(d.InputControls.EdgeList[1]->GetCurSel(), 1);  // the last device's edge
  });
  const std::string log = SimLog();
  EXPECT_EQ(log.find("config 1 -- connected") != std::string::npos, c.configQueried);
  // The settings read is the last thing sent: disconnecting sends nothing.
  const std::vector<std::string> sent = CommandFramesOf(log);
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back().substr(0, 5), "50 48");
  EXPECT_EQ(sent.size(), 3u + static_cast<std::size_t>(c.inputs));
}

INSTANTIATE_TEST_SUITE_P(
    Models, ConnectsTo,
    ::testing::Values(
        SupportedCase{"EightInputsCounting", 21, "SX-21", 8, true, Shown::Counting, 1, 0, false},
        SupportedCase{"ThreeInputsIdle", 0, "SX-00", 3, false, Shown::Connected, 3, 20, false},
        SupportedCase{"ConfigPortFamily", 25, "SX-25", 2, false, Shown::Connected, 2, 4, true},
        // Switched on in START-STOP with the gate stopped is not counting.
        SupportedCase{"StartStopGateStopped", 5, "SX-05", 5, true, Shown::Connected, 0, 9,
                      false},
        // In a timed period the gate plays no part: switched off is not counting.
        SupportedCase{"TimedGateRunningSwitchedOff", 1, "SX-01", 2, false, Shown::Connected, 1, 0,
                      false, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
  const char* name;
  std::int32_t model;
  const char* mode;
  const char* message;
};

class Refuses : public WindowWithSim, public ::testing::WithParamInterface<RefusedCase> {};

// The refusal comes after the connection was opened and the device
// identified; the connection is closed again and the window stays as it was.
TEST_P(Refuses, AfterIdentifyingWithOneMessageAndClosesTheConnection) {
  const RefusedCase& c = GetParam();
  StartSim([&](sim::SimConfig& s) {
    s.modelIndex = c.model;
    s.modeValue = c.mode;
  });
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    PressConnect();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{c.message});
    EXPECT_FALSE(d.channel.IsOpen(net::Slot::MainSlot));
    ExpectWindowState(Shown::NotConnected, false);
  });
  const std::vector<std::string> sent = SentCommands();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.front(), "4D 49 C8");
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "50 4A C8"), 0);  // no settings read
}

INSTANTIATE_TEST_SUITE_P(
    Models, Refuses,
    ::testing::Values(RefusedCase{"NoInputs", 3, "0", "機能に対応していないモデルです"},
                      RefusedCase{"NoInputsExtended", 19, "0", "機能に対応していないモデルです"},
                      RefusedCase{"SpontaneousNotificationMode", 25, "1",
                                  kMsgSpontaneousMode}),
    [](const auto& info) { return std::string(info.param.name); });

// The family learnt from one device is not carried to the next: after a
// family-5 model, a plain model at another address, where nothing listens on
// the configuration port, connects without a mode check.
TEST_F(WindowWithSim, APlainModelConnectsAfterAFamilyFiveDevice) {
  StartSim([](sim::SimConfig& s) { s.modelIndex = 25; });
  sim::SimConfig plain = testing::LoopbackSimConfig("127.0.5.3");
  plain.modelIndex = 1;
  plain.discoveryPort = sim->ports().discovery;
  testing::SimThread second(plain);
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    PressConnect();
    ASSERT_EQ(d.connected, 1);
    Click(d.ConnectButton);
    d.AddressEdit.SetWindowText(plain.bindAddress);
    d.PortEdit.SetWindowText(std::to_string(second.ports().command));
    Click(d.ConnectButton);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
    EXPECT_EQ(d.connected, 1);
    EXPECT_EQ(d.ModelText.GetWindowText(), "SX-01");
  });
  EXPECT_NE(SimLog().find("config 1 -- connected"), std::string::npos);
  EXPECT_EQ(second.Log().find("config 1 -- connected"), std::string::npos);
}

// A TCP port on the device address where nothing listens: bound, never
// listening, so a connection attempt is refused.
class ClosedPort {
 public:
  ClosedPort() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, kDeviceAddress, &address.sin_addr);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~ClosedPort() { close(fd_); }
  std::string text() const { return std::to_string(port_); }

 private:
  int fd_;
  std::uint16_t port_ = 0;
};

struct EntryCase {
  const char* address;
  const char* port;  // nullptr: the simulator's command port
  const char* message;
};

// Each refused attempt shows one message and leaves the window as it was;
// the next click starts from the beginning and connects.
TEST_F(WindowWithSim, EntriesAndUnreachableDevicesAreRefusedUntilACorrectAttempt) {
  StartSim();
  const ClosedPort closed;
  const std::string closedPort = closed.text();
  const EntryCase cases[] = {
      {"", nullptr, "IPアドレスが不正です"},
      {" \t ", nullptr, "IPアドレスが不正です"},
      {kDeviceAddress, "", "ポート番号が不正です"},
      {kDeviceAddress, "  ", "ポート番号が不正です"},
      {kDeviceAddress, "0", "ポート番号が不正です"},
      {kDeviceAddress, "abc", "ポート番号が不正です"},
      {kDeviceAddress, "65536", "ポート番号が不正です"},
      {kDeviceAddress, "-1", "ポート番号が不正です"},
      // Empty labels: the resolver refuses the name without asking anyone.
      {"bad..name", nullptr, "アドレスが不正です"},
      {"127.0.5.300", nullptr, "アドレスが不正です"},
      // Nothing answers the probe at this address.
      {"127.0.5.99", nullptr, "接続先が見つかりません"},
      {kDeviceAddress, closedPort.c_str(), "ネットワークエラー:C 10061\r\n"},
  };
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    for (const EntryCase& c : cases) {
      SCOPED_TRACE(std::string("address '") + c.address + "' port '" +
                   (c.port ? c.port : "command port") + "'");
      presenter.boxes.clear();
      d.AddressEdit.SetWindowText(c.address);
      d.PortEdit.SetWindowText(c.port ? c.port : CommandPort());
      Click(d.ConnectButton);
      EXPECT_EQ(MessageTexts(), std::vector<std::string>{c.message});
      ExpectWindowState(Shown::NotConnected, false);
    }
    presenter.boxes.clear();
    // A port followed by letters connects to the port.
    d.AddressEdit.SetWindowText(kDeviceAddress);
    d.PortEdit.SetWindowText(CommandPort() + "xyz");
    Click(d.ConnectButton);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
    EXPECT_EQ(d.connected, 1);
  });
  // Only the last attempt reached the command port.
  const std::string log = SimLog();
  EXPECT_NE(log.find("client 1 -- connected"), std::string::npos);
  EXPECT_EQ(log.find("client 2 -- connected"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::ui
