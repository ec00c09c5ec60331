// Reading the counters from the window, once and by auto-update, against
// kestrel-sim; a failed read, a reply too short for its counter, and a
// disconnect while auto-update runs.
#include <algorithm>
#include <chrono>

#include "common/Protocol.h"
#include "framework/WindowStyles.h"
#include "framework/testing/OperatorInput.h"
#include "tests/support/ScriptedTcpPeer.h"
#include "tests/ui/WorkflowFixture.h"
#include "ui/AutoUpdateInterval.h"

namespace kestrel::ui {
namespace {

using namespace std::chrono_literals;
using fw::testing::Click;
using fw::testing::PumpMessages;
using fw::testing::RunModalScript;

long CountOf(const std::vector<std::string>& frames, const std::string& prefix) {
  return std::count_if(frames.begin(), frames.end(),
                       [&](const std::string& f) { return f.starts_with(prefix); });
}

std::vector<std::string> CountTexts(CKestrelDlg& d) {
  std::vector<std::string> texts;
  for (int k = 0; k < kMaxInputs; ++k) texts.push_back(d.InputControls.CountText[k]->GetWindowText());
  return texts;
}

TEST(AutoUpdateInterval, WholeSecondsTimesAThousandHeldAtTheLongestTimerPeriod) {
  struct Case {
    const char* text;
    std::optional<std::uint32_t> periodMs;
  } cases[] = {
      {"1", 1000},
      {"2.9", 2000},
      {"1e1", 10000},
      {" \t+3", 3000},
      {"5x", 5000},
      {"1,5", 1000},  // the point is the decimal point whatever the locale
      {".5", 0},      // not zero: a timer runs, as fast as the platform allows
      {"2147483", 2147483000u},
      {"2147484", 2147483647u},  // the longest period a timer keeps, not a wrapped one
      {"4294968", 2147483647u},
      {"4294967296", 2147483647u},
      {"1e300", 2147483647u},
      {"-0.5", std::nullopt},    // negative: as 0
      {"-1", std::nullopt},
      {"-4294967296", std::nullopt},
      {"0", std::nullopt},
      {"0.0", std::nullopt},
      {"-0", std::nullopt},
      {"", std::nullopt},
      {"abc", std::nullopt},
      {"+-1", std::nullopt},
      {"0x10", std::nullopt},    // decimal only: reads as 0
      {"inf", std::nullopt},     // no finite number of seconds
      {"nan", std::nullopt},
      {"1e999", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(AutoUpdatePeriodMs(c.text), c.periodMs) << c.text;
}

// The boxes on the screen decide what is read, not the stored settings:
// DI2's box is cleared without its notification (the stored setting stays
// on) and DI4's stored setting is switched off under its ticked box. 0 and
// the largest counter show in full.
TEST_F(WindowWithSim, ReadCountsReadsTheTickedInputsAndEmptiesTheOthers) {
  StartSim([](sim::SimConfig& s) {
    s.modelIndex = 17;  // four inputs
    s.countingOn = false;
    const std::uint32_t starts[] = {0, 7, 4294967295u, 123456};
    for (int k = 0; k < 4; ++k) s.inputs[k].startCount = starts[k];
  });
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    PressConnect();
    Click(d.ReadCountsButton);
    EXPECT_EQ(CountTexts(d),
              (std::vector<std::string>{"0", "7", "4294967295", "123456", "", "", "", ""}));
    d.InputControls.EnableCheck[1]->SetCheck(fw::BST_UNCHECKED);
    state.inputs[3].enabled = 0;
    Click(d.ReadCountsButton);
    EXPECT_EQ(state.inputs[1].enabled, 1);
    EXPECT_EQ(CountTexts(d),
              (std::vector<std::string>{"0", "", "4294967295", "123456", "", "", "", ""}));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
  });
  std::vector<std::string> sent = SentCommands();
  sent.erase(sent.begin(), sent.end() - 6);  // the first pass's last three and the second
  EXPECT_EQ(sent, (std::vector<std::string>{"50 47 21 C8", "50 47 22 C8", "50 47 23 C8",
                                            "50 47 20 C8", "50 47 22 C8", "50 47 23 C8"}));
}

// Every second the counters move on; a click on the read button in between
// reads at once and leaves the timer running.
TEST_F(WindowWithSim, AutoUpdateReadsEverySecondWhileTicked) {
  StartSim();  // counting, 0.1 s period, eight inputs at different rates
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    PressConnect();
    ExpectWindowState(Shown::Counting);
    Click(d.AutoUpdateCheck);
    EXPECT_EQ(state.autoUpdateActive, 1);
    ExpectWindowState(Shown::Counting);
    PumpMessages(500ms);
    EXPECT_EQ(CountTexts(d), std::vector<std::string>(kMaxInputs, ""));
    PumpMessages(1000ms);  // one tick
    const std::vector<std::string> first = CountTexts(d);
    EXPECT_NE(first[7], "");
    PumpMessages(1000ms);  // another
    const std::vector<std::string> second = CountTexts(d);
    EXPECT_GT(std::stoul(second[7]), std::stoul(first[7]));

    Click(d.ReadCountsButton);
    EXPECT_EQ(state.autoUpdateActive, 1);
    EXPECT_EQ(d.AutoUpdateCheck.GetCheck(), fw::BST_CHECKED);

    Click(d.AutoUpdateCheck);
    EXPECT_EQ(state.autoUpdateActive, 0);
    EXPECT_FALSE(d.KillTimer(kAutoUpdateTimer));  // already stopped
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
  });
  // Two ticks and one click: three passes over the eight inputs.
  EXPECT_EQ(CountOf(SentCommands(), "50 47"), 3 * kMaxInputs);
}

// An interval that reads as 0 or as negative only clears the box again: no
// timer, no message, no traffic.
TEST_F(WindowWithSim, AZeroOrNegativeIntervalClearsTheBoxAndStartsNothing) {
  StartSim();
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    PressConnect();
    for (const char* interval : {"0", "", "abc", " 0.0", "-1", "-0.5"}) {
      d.IntervalEdit.SetWindowText(interval);
      Click(d.AutoUpdateCheck);
      EXPECT_EQ(d.AutoUpdateCheck.GetCheck(), fw::BST_UNCHECKED) << interval;
      EXPECT_EQ(state.autoUpdateActive, 0) << interval;
      EXPECT_FALSE(d.KillTimer(kAutoUpdateTimer)) << interval;
    }
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
  });
  EXPECT_EQ(CountOf(SentCommands(), "50 47"), 0);
}

// Less than a second is not 0: the timer runs as fast as it may.
TEST_F(WindowWithSim, ASubSecondIntervalReadsAtTheShortestPeriod) {
  StartSim([](sim::SimConfig& s) { s.modelIndex = 1; });  // two inputs
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    PressConnect();
    d.IntervalEdit.SetWindowText("0.5");
    Click(d.AutoUpdateCheck);
    EXPECT_EQ(d.AutoUpdateCheck.GetCheck(), fw::BST_CHECKED);
    EXPECT_EQ(state.autoUpdateActive, 1);
    PumpMessages(300ms);
    Click(d.AutoUpdateCheck);
  });
  EXPECT_GE(CountOf(SentCommands(), "50 47"), 2 * 3);  // three passes at least
}

// The device drops the connection in the middle of a pass: the inputs read
// before show their new values, the rest keep the old ones, auto-update is
// off before the one message appears, and no tick reads while it is open.
TEST_F(WindowWithSim, AFailedReadStopsAutoUpdateBeforeItsOneMessage) {
  constexpr std::uint32_t kConnect = 3 + kMaxInputs;  // MI, PJ, PP, PH each
  StartSim([&](sim::SimConfig& s) {
    for (auto& input : s.inputs) input.rateMilliHz = 50'000;
    auto& close = s.fault(sim::FaultKind::CloseAfter);
    close.on = true;
    close.value = kConnect + kMaxInputs + 2;  // after DI2 of the second pass
  });
  CKestrelDlg& d = Dialog();
  bool checkedWhileShown = true;
  std::int32_t activeWhileShown = -1;
  bool timerWhileShown = true;
  presenter.onPresent = [&] {
    checkedWhileShown = d.AutoUpdateCheck.GetCheck() == fw::BST_CHECKED;
    activeWhileShown = state.autoUpdateActive;
    timerWhileShown = d.KillTimer(kAutoUpdateTimer);
    // The operator takes longer than an interval to dismiss the box.
    PumpMessages(1500ms);
  };
  RunModalScript(d, [&] {
    PressConnect();
    Click(d.ReadCountsButton);
    const std::vector<std::string> before = CountTexts(d);
    PumpMessages(200ms);
    Click(d.AutoUpdateCheck);
    PumpMessages(1300ms);  // the first tick fails at DI3
    const std::vector<std::string> after = CountTexts(d);
    EXPECT_NE(after[0], before[0]);
    EXPECT_EQ(after[1], std::to_string(state.inputs[1].count));
    EXPECT_NE(after[1], before[1]);
    for (int k = 2; k < kMaxInputs; ++k) EXPECT_EQ(after[k], before[k]) << "DI" << k + 1;
    EXPECT_EQ(d.AutoUpdateCheck.GetCheck(), fw::BST_UNCHECKED);
    EXPECT_EQ(state.autoUpdateActive, 0);
    ExpectWindowState(Shown::Counting);
  });
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"ネットワークエラー:R 10054\r\n"});
  EXPECT_FALSE(checkedWhileShown);
  EXPECT_EQ(activeWhileShown, 0);
  EXPECT_FALSE(timerWhileShown);
  // The read of DI3 never reached the device: the connection was gone.
  EXPECT_EQ(CountOf(SentCommands(), "50 47"), kMaxInputs + 2);
}

// Disconnecting stops auto-update first and sends nothing, so the device
// goes on counting; the next connection finds it counting.
TEST_F(WindowWithSim, DisconnectWhileAutoUpdateRunsStopsItAndTheDeviceCountsOn) {
  StartSim();
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    PressConnect();
    Click(d.AutoUpdateCheck);
    PumpMessages(1200ms);
    EXPECT_NE(d.InputControls.CountText[0]->GetWindowText(), "");

    Click(d.ConnectButton);
    EXPECT_EQ(d.AutoUpdateCheck.GetCheck(), fw::BST_UNCHECKED);
    EXPECT_EQ(state.autoUpdateActive, 0);
    EXPECT_FALSE(d.KillTimer(kAutoUpdateTimer));
    EXPECT_FALSE(d.channel.IsOpen(net::Slot::MainSlot));
    ExpectWindowState(Shown::NotConnected);
    PumpMessages(1200ms);  // no tick falls due any more
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{});

    PressConnect();
    ExpectWindowState(Shown::Counting);
  });
  const std::vector<std::string> sent = SentCommands();
  EXPECT_EQ(CountOf(sent, "50 47"), kMaxInputs);
  EXPECT_EQ(CountOf(sent, "50 4C"), 0);
  EXPECT_EQ(CountOf(sent, "50 53"), 0);
}

// A two-input device whose counter reply ends after three digits: that is a
// data error, shown once, and the counter keeps its old value and text. The
// simulator answers the probe; a scripted peer stands in for the command port.
TEST_F(WindowWithSim, ACounterReplyTooShortForItsDigitsIsADataError) {
  StartSim([](sim::SimConfig& s) { s.modelIndex = 1; });
  constexpr std::uint8_t T = protocol::kCommandTerminator;
  testing::ScriptedTcpPeer::Options options;
  options.address = testing::Ipv4(127, 0, 5, 2);
  testing::ScriptedTcpPeer device(
      [](const testing::Bytes& request, int) -> std::vector<testing::PeerAction> {
        const auto reply = [](testing::Bytes bytes) {
          return std::vector<testing::PeerAction>{testing::PeerAction::Send(std::move(bytes))};
        };
        if (request.size() < 3) return {};
        switch (request[1]) {
          case 'I':
            return reply({0x6D, 0x69, 0x3F, 0x31, T});  // unit 0, model 1: two inputs
          case 'J':
            return reply({0x70, 0x6A, 0x2A, 0x20, T});  // counting, 0.1 s
          case 'P':
            return reply({0x70, 0x70, 0x20, T});
          case 'H':
            return reply({0x70, 0x68, request[2], 0x21, T});
          case 'G':
            if (request[2] == 0x20) return reply({0x70, 0x67, 0x20, '0', '0', '0', '0', '0', '0', '1', '2', T});
            return reply({0x70, 0x67, request[2], '0', '0', '1', T});
        }
        return {};
      },
      options);
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    d.AddressEdit.SetWindowText(kDeviceAddress);
    d.PortEdit.SetWindowText(std::to_string(device.port()));
    Click(d.ConnectButton);
    ASSERT_EQ(d.connected, 1);
    state.inputs[1].count = 77;
    d.InputControls.CountText[1]->SetWindowText("77");
    Click(d.AutoUpdateCheck);
    Click(d.ReadCountsButton);
    EXPECT_EQ(d.InputControls.CountText[0]->GetWindowText(), "18");
    EXPECT_EQ(d.InputControls.CountText[1]->GetWindowText(), "77");
    EXPECT_EQ(state.inputs[1].count, 77u);
    EXPECT_EQ(d.AutoUpdateCheck.GetCheck(), fw::BST_UNCHECKED);
    EXPECT_EQ(state.autoUpdateActive, 0);
  });
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"受信データ異常\r\n"});
}

}  // namespace
}  // namespace kestrel::ui
