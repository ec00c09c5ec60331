// The fault matrix through the real window, offscreen: the operator types the
// device's address and port and presses the buttons; each fault of kestrel-sim
// gives one message box with the exact text, a wait bounded by the shortened
// time-outs, a window whose state is consistent (connected or not, auto-update
// off after a failed read) and a next press that works once the fault clears.
#include <gtest/gtest.h>

#include "common/ModelTable.h"
#include "framework/WindowStyles.h"
#include "framework/testing/OperatorInput.h"
#include "tests/faults/FaultCases.h"
#include "tests/faults/FaultTool.h"
#include "tests/support/Loopback.h"
#include "tests/ui/FakeAdapters.h"
#include "tests/ui/RecordingPresenter.h"
#include "ui/KestrelDlg.h"

namespace kestrel::testing {
namespace {

using fw::testing::Click;
using fw::testing::RunModalScript;

std::unique_ptr<ui::CKestrelDlg> MakeWindow(DeviceState& state, const SimProcess& sim,
                                            ui::RecordingPresenter& presenter) {
  ui::KestrelDlgEnvironment environment;
  environment.readAdapters = [] {
    return ui::FakeSnapshot({{10, "veth0", {"127.0.7.1"}}});
  };
  environment.exitProcess = [](int code) { ADD_FAILURE() << "process would end with " << code; };
  environment.channelTimeouts = ShortChannelTimeouts();
  environment.connectSettings.probe = ShortProbeSettings();
  environment.connectSettings.probe.devicePort = sim.ports().discovery;
  environment.connectSettings.configPort = sim.ports().config;
  auto window = std::make_unique<ui::CKestrelDlg>(state, environment);
  window->SetMessageBoxPresenter(&presenter);
  return window;
}

std::vector<std::string> Texts(const ui::RecordingPresenter& presenter) {
  std::vector<std::string> texts;
  for (const auto& box : presenter.boxes) texts.push_back(box.text);
  return texts;
}

bool ShowsStillCounts(ui::CKestrelDlg& d, const DeviceState& state) {
  for (int k = 0; k < CurrentInputCount(state); ++k)
    if (d.InputControls.CountText[k]->GetWindowText() != std::to_string(StillCount(k))) return false;
  return true;
}

class WindowFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(WindowFaults, OneMessageBoxBoundedWaitConsistentWindowThenRecovery) {
  const FaultCase& c = GetParam();
  std::vector<std::string> options = StillCounters();
  options.insert(options.end(), c.options.begin(), c.options.end());
  SimProcess sim(kFaultSimAddress, options);
  ASSERT_TRUE(sim.ready());
  DeviceState state;
  ui::RecordingPresenter presenter;
  const std::unique_ptr<ui::CKestrelDlg> window = MakeWindow(state, sim, presenter);
  ui::CKestrelDlg& d = *window;

  RunModalScript(d, [&] {
    d.AddressEdit.SetWindowText(kFaultSimAddress);
    d.PortEdit.SetWindowText(std::to_string(sim.ports().command));
    long long ms = 0;
    if (c.strikes == Strikes::Connect) {
      ms = MillisecondsOf([&] { Click(d.ConnectButton); });
    } else {
      Click(d.ConnectButton);
      ASSERT_EQ(d.connected, 1) << ::testing::PrintToString(Texts(presenter));
      // Periodic reading runs (at an interval no tick falls into).
      d.IntervalEdit.SetWindowText("60");
      Click(d.AutoUpdateCheck);
      ASSERT_EQ(state.autoUpdateActive, 1);
      ms = MillisecondsOf([&] { Click(d.ReadCountsButton); });
    }

    const std::vector<std::string> expected =
        c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message};
    EXPECT_EQ(Texts(presenter), expected);
    EXPECT_GE(ms, c.minMs);
    EXPECT_LE(ms, c.maxMs + kFaultSlackMs);
    if (*c.logged != '\0') {
      EXPECT_GE(sim.CountLogLines(c.logged), 1);
    }
    EXPECT_EQ(d.connected, c.connectedAfter ? 1 : 0);
    EXPECT_EQ(d.ConnectButton.GetWindowText(), c.connectedAfter ? "切断" : "接続");
    EXPECT_EQ(d.AddressEdit.IsWindowEnabled(), !c.connectedAfter);
    if (c.strikes == Strikes::ReadCounts) {
      const bool failed = !c.message.empty();
      EXPECT_EQ(state.autoUpdateActive, failed ? 0 : 1);
      EXPECT_EQ(d.AutoUpdateCheck.GetCheck(), failed ? fw::BST_UNCHECKED : fw::BST_CHECKED);
      if (!failed) {
        EXPECT_TRUE(ShowsStillCounts(d, state));
      }
    }

    // The operator goes on once the fault has cleared.
    presenter.boxes.clear();
    if (c.message == kClosedByPeerText) Click(d.ConnectButton);  // disconnect the lost connection
    if (d.connected == 0) Click(d.ConnectButton);
    ASSERT_EQ(d.connected, 1) << ::testing::PrintToString(Texts(presenter));
    Click(d.ReadCountsButton);
    EXPECT_TRUE(ShowsStillCounts(d, state));
    EXPECT_EQ(Texts(presenter), std::vector<std::string>{});
  });
}

INSTANTIATE_TEST_SUITE_P(Matrix, WindowFaults, ::testing::ValuesIn(FaultCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel::testing
