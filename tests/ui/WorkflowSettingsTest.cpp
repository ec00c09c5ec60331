// Editing, applying and receiving the settings, and starting and stopping
// counting, from the window against kestrel-sim; the bytes are checked in
// the simulator's log.
#include <algorithm>

#include "framework/WindowStyles.h"
#include "framework/testing/OperatorInput.h"
#include "tests/ui/WorkflowFixture.h"

namespace kestrel::ui {
namespace {

using fw::testing::Click;
using fw::testing::Pick;
using fw::testing::RunModalScript;
using ui::PrintTo;

// The frames after the connect's settings read (MI, PJ, PP, one PH each).
std::vector<std::string> AfterConnect(const std::vector<std::string>& sent, int inputs) {
  const auto skip = static_cast<std::ptrdiff_t>(3 + inputs);
  if (static_cast<std::ptrdiff_t>(sent.size()) < skip) return {};
  return {sent.begin() + skip, sent.end()};
}

std::vector<std::string> SettingsRead(int inputs) {
  std::vector<std::string> frames{"50 4A C8", "50 50 C8"};
  for (int k = 0; k < inputs; ++k) frames.push_back("50 48 2" + std::to_string(k) + " C8");
  return frames;
}

// Edits are only stored until apply sends them; receive shows what the
// device holds. DI6's box (1048) and DI7's (1043) reach inputs 5 and 6.
TEST_F(WindowWithSim, EditsAreAppliedAsTheyAreShownAndReceiveShowsTheDevicesValues) {
  StartSim([](sim::SimConfig& s) {
    s.countingOn = false;
    s.countPeriod = 2;
  });
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    PressConnect();
    ExpectWindowState(Shown::Connected);

    Pick(d.PeriodList, 1);
    Pick(d.ChatterList, 1);  // " 4 m秒"
    Click(*d.InputControls.EnableCheck[0]);
    Click(*d.InputControls.EnableCheck[5]);
    Pick(*d.InputControls.EdgeList[6], 1);
    Pick(*d.InputControls.EdgeList[5], 1);  // disabled input: its edge is not sent
    EXPECT_EQ(state.countPeriod, 1);
    EXPECT_EQ(state.chatterCode, 4);
    EXPECT_EQ(state.inputs[0].enabled, 0);
    EXPECT_EQ(state.inputs[5].enabled, 0);
    EXPECT_EQ(state.inputs[6].enabled, 1);
    EXPECT_EQ(state.inputs[6].edge, 1);
    Pick(d.ChatterList, 17);
    EXPECT_EQ(state.chatterCode, 20);
    Pick(d.ChatterList, 0);
    EXPECT_EQ(state.chatterCode, 0);
    Pick(d.ChatterList, 1);

    Click(d.ApplySettingsButton);
    ExpectWindowState(Shown::Connected);

    // Not applied: receive replaces it with the device's (applied) values.
    Pick(d.PeriodList, 3);
    Click(*d.InputControls.EnableCheck[1]);
    Click(d.ReceiveSettingsButton);
    EXPECT_EQ(state.countPeriod, 1);
    EXPECT_EQ(state.inputs[1].enabled, 1);
    ExpectWindowState(Shown::Connected);
    EXPECT_EQ(d.ChatterList.GetCurSel(), 1);
    EXPECT_EQ(d.InputControls.EdgeList[6]->GetCurSel(), 1);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
  });
  std::vector<std::string> expected{
      "50 4C 22 24 C8",  // period 0.1 s, chatter 4, counting bit clear
      "50 43 20 20 C8", "50 43 21 21 C8", "50 43 22 21 C8", "50 43 23 21 C8",
      "50 43 24 21 C8", "50 43 25 20 C8", "50 43 26 22 C8", "50 43 27 21 C8",
  };
  const std::vector<std::string> read = SettingsRead(8);
  expected.insert(expected.end(), read.begin(), read.end());
  EXPECT_EQ(AfterConnect(SentCommands(), 8), expected);
}

struct ToggleCase {
  const char* name;
  std::int32_t period;
  std::int32_t chatter;
  std::vector<std::string> start;  // after the settings read
  std::vector<std::string> stop;
};

class StartStop : public WindowWithSim, public ::testing::WithParamInterface<ToggleCase> {};

// Start first re-reads the settings, so an edit that was not applied is
// dropped; the window then shows counting and offers auto-update. Stop
// sends only what switches counting off and gives the settings back.
TEST_P(StartStop, SendsTheCountingCommandsAndSwitchesTheWindow) {
  const ToggleCase& c = GetParam();
  StartSim([&](sim::SimConfig& s) {
    s.modelIndex = 1;  // two inputs
    s.countingOn = false;
    s.countPeriod = c.period;
    s.chatterCode = c.chatter;
  });
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    PressConnect();
    ExpectWindowState(Shown::Connected);
    Pick(d.PeriodList, c.period == 3 ? 2 : 3);
    Click(*d.InputControls.EnableCheck[0]);

    Click(d.StartStopButton);
    EXPECT_EQ(state.countPeriod, c.period);
    EXPECT_EQ(state.countingOn, 1);
    EXPECT_EQ(state.startStopRunning, 1);
    ExpectWindowState(Shown::Counting);

    Click(d.StartStopButton);
    EXPECT_EQ(state.countingOn, 0);
    EXPECT_EQ(state.startStopRunning, 0);
    ExpectWindowState(Shown::Connected);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{});
  });
  std::vector<std::string> expected = SettingsRead(2);
  expected.insert(expected.end(), c.start.begin(), c.start.end());
  expected.insert(expected.end(), c.stop.begin(), c.stop.end());
  EXPECT_EQ(AfterConnect(SentCommands(), 2), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Periods, StartStop,
    ::testing::Values(
        ToggleCase{"Timed", 1, 4, {"50 4C 2A 24 C8"}, {"50 4C 22 24 C8"}},
        // Chatter 20 carries its bit 4 in the control byte.
        ToggleCase{"StartStopGate", 0, 20, {"50 4C 29 24 C8", "50 53 28 C8"},
                   {"50 53 20 C8", "50 4C 21 24 C8"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Switched on in START-STOP but with the gate stopped, as read from a device:
// shown as not counting, yet the button goes by the switch and stops.
TEST_F(WindowWithSim, StartStopButtonStopsASwitchedOnDeviceWhoseGateIsStopped) {
  StartSim([](sim::SimConfig& s) {
    s.modelIndex = 1;
    s.countingOn = true;
    s.countPeriod = 0;
    s.chatterCode = 5;
  });
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    PressConnect();
    EXPECT_EQ(state.countingOn, 1);
    ExpectWindowState(Shown::Connected);
    Click(d.StartStopButton);
    EXPECT_EQ(state.countingOn, 0);
    ExpectWindowState(Shown::Connected);
  });
  EXPECT_EQ(AfterConnect(SentCommands(), 2),
            (std::vector<std::string>{"50 53 20 C8", "50 4C 20 25 C8"}));
}

// The device hangs up in the middle of the settings read (after PJ, at PP):
// the one message is the only effect. The controls keep the operator's
// unapplied choice, counting is not switched on, nothing more is sent.
TEST_F(WindowWithSim, AFailedSettingsReadChangesNothingButItsMessage) {
  for (const bool start : {false, true}) {
    SCOPED_TRACE(start ? "start" : "receive");
    StartSim([](sim::SimConfig& s) {
      s.modelIndex = 1;
      s.countingOn = false;
      s.countPeriod = 2;
      auto& close = s.fault(sim::FaultKind::CloseAfter);
      close.on = true;
      close.value = 3 + 2 + 1;  // the connect's read, then PJ once more
    });
    dialog.reset();
    presenter.boxes.clear();
    CKestrelDlg& d = Dialog();
    RunModalScript(d, [&] {
      PressConnect();
      Pick(d.PeriodList, 3);
      Click(start ? d.StartStopButton : d.ReceiveSettingsButton);
      EXPECT_EQ(d.PeriodList.GetCurSel(), 3);
      EXPECT_EQ(state.countingOn, 0);
      EXPECT_EQ(d.connected, 1);
      EXPECT_EQ(d.CountingStateText.GetWindowText(), "PULSE COUNT OFF");
      EXPECT_TRUE(d.ApplySettingsButton.IsWindowEnabled());
      EXPECT_FALSE(d.AutoUpdateCheck.IsWindowEnabled());
    });
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_TRUE(MessageTexts()[0].starts_with("ネットワークエラー:R ")) << MessageTexts()[0];
    // The device logs what it took before hanging up: PJ only.
    const std::vector<std::string> sent = AfterConnect(CommandFramesOf(sim->Log()), 2);
    EXPECT_EQ(sent, std::vector<std::string>{"50 4A C8"});
  }
}

// A device that stops answering: each button shows the failure once, the
// window keeps its state and nothing is retried.
TEST_F(WindowWithSim, FailedSettingsCommandsAreReportedOnceEach) {
  StartSim([](sim::SimConfig& s) {
    s.modelIndex = 1;
    s.countingOn = false;
    s.countPeriod = 2;
    auto& noReply = s.fault(sim::FaultKind::NoReply);
    noReply.on = true;
    noReply.command = {'P', 'L'};
  });
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    PressConnect();
    Click(d.ApplySettingsButton);
    Click(d.StartStopButton);
    EXPECT_EQ(state.countingOn, 0);
    ExpectWindowState(Shown::Connected);
  });
  const std::string timedOut = "ネットワークエラー:R 10060\r\n";
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{timedOut, timedOut}));
  const std::vector<std::string> sent = AfterConnect(SentCommands(), 2);
  // Apply stops before the inputs; start re-reads, then stops at PL.
  EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                          [](const std::string& f) { return f.starts_with("50 43"); }),
            0);
  EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                          [](const std::string& f) { return f.starts_with("50 4C"); }),
            2);
}

}  // namespace
}  // namespace kestrel::ui
