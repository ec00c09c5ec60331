#include "tests/ui/WorkflowFixture.h"

#include <regex>
#include <sstream>

#include "common/ModelTable.h"
#include "device/CountingState.h"
#include "framework/WindowStyles.h"
#include "framework/testing/OperatorInput.h"
#include "tests/ui/FakeAdapters.h"
#include "ui/ChatterIndex.h"

namespace kestrel::ui {

void WindowWithSim::StartSim(const std::function<void(sim::SimConfig&)>& adjust) {
  sim::SimConfig config = testing::LoopbackSimConfig(kDeviceAddress);
  if (adjust) adjust(config);
  sim = std::make_unique<testing::SimThread>(config);
}

CKestrelDlg& WindowWithSim::Dialog() {
  if (dialog) return *dialog;
  KestrelDlgEnvironment environment;
  environment.readAdapters = [] { return FakeSnapshot({{10, "veth0", {kWindowAddress}}}); };
  environment.exitProcess = [](int code) { ADD_FAILURE() << "process would end with " << code; };
  environment.channelTimeouts.connectMs = 500;
  environment.channelTimeouts.sendMs = 500;
  environment.channelTimeouts.receiveMs = 400;
  environment.connectSettings.probe.replyWaitMs = 300;
  environment.connectSettings.probe.followUpReceiveMs = 300;
  environment.connectSettings.probe.pauseMs = 1;
  if (sim) {
    environment.connectSettings.probe.devicePort = sim->ports().discovery;
    environment.connectSettings.configPort = sim->ports().config;
  }
  dialog = std::make_unique<CKestrelDlg>(state, environment);
  dialog->SetMessageBoxPresenter(&presenter);
  return *dialog;
}

std::string WindowWithSim::CommandPort() const {
  return std::to_string(sim->ports().command);
}

void WindowWithSim::PressConnect(const std::string& address) {
  CKestrelDlg& d = Dialog();
  // What the operator typed or pasted; the digits-only port edit would refuse
  // some of the texts the entry tests need.
  d.AddressEdit.SetWindowText(address);
  d.PortEdit.SetWindowText(CommandPort());
  fw::testing::Click(d.ConnectButton);
}

std::string WindowWithSim::SimLog() {
  if (!logTaken_) {
    log_ = sim->Log();
    logTaken_ = true;
  }
  return log_;
}

std::vector<std::string> WindowWithSim::SentCommands() { return CommandFramesOf(SimLog()); }

std::vector<std::string> CommandFramesOf(const std::string& log) {
  static const std::regex kSent(R"(^\S+ client \d+ <- (.*)$)");
  std::vector<std::string> frames;
  std::istringstream lines(log);
  std::string line;
  std::smatch match;
  while (std::getline(lines, line))
    if (std::regex_match(line, match, kSent)) frames.push_back(match[1]);
  return frames;
}

std::vector<std::string> WindowWithSim::MessageTexts() const {
  std::vector<std::string> texts;
  for (const auto& box : presenter.boxes) texts.push_back(box.text);
  return texts;
}

namespace {

// When a control is enabled.
enum class When { Always, NotConnected, Connected, Editable, Counting, Never };

bool Holds(When when, Shown shown) {
  switch (when) {
    case When::Always:
      return true;
    case When::NotConnected:
      return shown == Shown::NotConnected;
    case When::Connected:
      return shown != Shown::NotConnected;
    case When::Editable:
      return shown == Shown::Connected;
    case When::Counting:
      return shown == Shown::Counting;
    case When::Never:
      return false;
  }
  return false;
}

struct Rule {
  std::string name;
  fw::CWnd* control;
  When enabled;
  bool visible;
};

}  // namespace

void WindowWithSim::ExpectWindowState(Shown shown, bool everConnected) {
  CKestrelDlg& d = *dialog;
  const bool connected = shown != Shown::NotConnected;
  ASSERT_EQ(d.connected, connected ? 1 : 0);
  ASSERT_EQ(device::CountingState(state), shown == Shown::Counting);
  const int inputs = connected ? CurrentInputCount(state) : 0;

  std::vector<Rule> rules{
      {"ConnectButton", &d.ConnectButton, When::Always, true},
      {"AddressEdit", &d.AddressEdit, When::NotConnected, true},
      {"PortEdit", &d.PortEdit, When::NotConnected, true},
      {"AdapterList", &d.AdapterList, When::NotConnected, true},
      {"StartStopButton", &d.StartStopButton, When::Connected, true},
      {"ReadCountsButton", &d.ReadCountsButton, When::Connected, true},
      {"PeriodList", &d.PeriodList, When::Editable, true},
      {"ChatterList", &d.ChatterList, When::Editable, true},
      {"ReceiveSettingsButton", &d.ReceiveSettingsButton, When::Editable, true},
      {"ApplySettingsButton", &d.ApplySettingsButton, When::Editable, true},
      {"AutoUpdateCheck", &d.AutoUpdateCheck, When::Counting, true},
      {"IntervalEdit", &d.IntervalEdit, When::Counting, true},
      // The mail-alert settings take no part; once a device has been
      // connected they stay out of sight.
      {"AlertInputList", &d.AlertInputList, When::Never, !everConnected},
      {"AlertValueEdit", &d.AlertValueEdit, When::Never, !everConnected},
      {"AlertConditionList", &d.AlertConditionList, When::Never, !everConnected},
      {"AlertTitleCaption", &d.AlertTitleCaption, When::Always, !everConnected},
      {"AlertInputCaption", &d.AlertInputCaption, When::Always, !everConnected},
      {"AlertValueCaption", &d.AlertValueCaption, When::Always, !everConnected},
      {"AlertConditionCaption", &d.AlertConditionCaption, When::Always, !everConnected},
  };
  for (int k = 0; k < kMaxInputs; ++k) {
    const std::string di = "DI" + std::to_string(k + 1);
    const bool used = k < inputs;
    rules.push_back({"EnableCheck " + di, d.InputControls.EnableCheck[k],
                     used ? When::Editable : When::Never, true});
    rules.push_back({"EdgeList " + di, d.InputControls.EdgeList[k],
                     used ? When::Editable : When::Never, true});
    rules.push_back({"CountLabel " + di, d.InputControls.CountLabel[k], When::Always, used});
  }
  for (const Rule& rule : rules) {
    EXPECT_EQ(rule.control->IsWindowVisible(), rule.visible) << rule.name << " visible";
    if (rule.visible) {
      EXPECT_EQ(rule.control->IsWindowEnabled(), Holds(rule.enabled, shown))
          << rule.name << " enabled";
    }
  }

  EXPECT_EQ(d.ConnectButton.GetWindowText(), connected ? "切断" : "接続");
  EXPECT_EQ(d.CountingStateText.GetWindowText(),
            shown == Shown::Counting ? "PULSE COUNT ON" : "PULSE COUNT OFF");
  EXPECT_EQ(d.UnitIdText.GetWindowText(), connected ? std::to_string(state.unitId) : "");
  EXPECT_EQ(d.ModelText.GetWindowText(),
            connected ? ModelRowAt(state.modelIndex).displayName : "");
  EXPECT_EQ(d.AutoUpdateCheck.GetCheck(),
            state.autoUpdateActive != 0 ? fw::BST_CHECKED : fw::BST_UNCHECKED);

  const int chatterIndex = ChatterIndexOf(state.chatterCode);
  EXPECT_EQ(d.PeriodList.GetCurSel(), connected ? state.countPeriod : -1);
  EXPECT_EQ(d.ChatterList.GetCurSel(),
            connected && chatterIndex >= 0 && chatterIndex < d.ChatterList.GetCount()
                ? chatterIndex
                : -1);
  EXPECT_EQ(d.AlertConditionList.GetCurSel(), -1);
  EXPECT_EQ(d.AlertInputList.GetCurSel(), -1);
  if (connected) {
    EXPECT_EQ(d.AlertInputList.GetCount(), inputs);
  }

  for (int k = 0; k < kMaxInputs; ++k) {
    const bool used = k < inputs;
    const auto& input = state.inputs[static_cast<std::size_t>(k)];
    EXPECT_EQ(d.InputControls.EnableCheck[k]->GetCheck(),
              used && input.enabled != 0 ? fw::BST_CHECKED : fw::BST_UNCHECKED)
        << "DI" << k + 1;
    // Disconnected, the edge lists keep the last device's edges.
    if (used) {
      EXPECT_EQ(d.InputControls.EdgeList[k]->GetCurSel(), input.edge) << "DI" << k + 1;
    }
    if (!connected || k >= CurrentInputCount(state)) {
      EXPECT_EQ(d.InputControls.CountText[k]->GetWindowText(), "") << "DI" << k + 1;
    }
  }
}

}  // namespace kestrel::ui
