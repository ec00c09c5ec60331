// Writes the docs' images of the window at work: connected to kestrel-sim
// (run in this process on loopback) through the real connect button.
//   ui_workflow_screenshots OUT_DIR
// window-connected.png: settings shown, counters read, counting off.
// window-counting.png: counting on, auto-update ticking, counters moving.
#include <chrono>
#include <cstdio>
#include <string>

#include "framework/PlatformApp.h"
#include "framework/testing/OperatorInput.h"
#include "tests/support/SimThread.h"
#include "tests/ui/FakeAdapters.h"
#include "tests/ui/RecordingPresenter.h"
#include "ui/KestrelDlg.h"

namespace {

using namespace std::chrono_literals;
using namespace kestrel;
namespace input = fw::testing;

constexpr char kDeviceAddress[] = "127.0.5.3";

sim::SimConfig DemoDevice() {
  sim::SimConfig config;
  config.bindAddress = kDeviceAddress;
  config.commandPort = 0;
  config.configPort = 0;
  config.discoveryPort = 0;
  config.unitId = 3;
  config.countingOn = false;
  config.countPeriod = 1;
  config.chatterCode = 4;
  config.inputs[1].edge = 1;
  config.inputs[6].enabled = false;
  const std::uint32_t starts[] = {1250, 98211, 4242, 70000, 15, 3308, 0, 4294967000u};
  for (int k = 0; k < kMaxInputs; ++k) {
    config.inputs[k].startCount = starts[k];
    config.inputs[k].rateMilliHz = (k + 1) * 7'000;
  }
  return config;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  fw::PlatformApp app(argc, argv);

  kestrel::testing::SimThread sim(DemoDevice());  // tells why when it cannot open its sockets
  if (!sim.ready()) return 1;

  DeviceState state;
  ui::KestrelDlgEnvironment environment;
  environment.readAdapters = [] {
    return ui::FakeSnapshot({{10, "veth0", {"127.0.5.1"}}});
  };
  environment.channelTimeouts.connectMs = 1000;
  environment.channelTimeouts.receiveMs = 1000;
  environment.connectSettings.probe.replyWaitMs = 1000;
  environment.connectSettings.probe.devicePort = sim.ports().discovery;
  environment.connectSettings.configPort = sim.ports().config;
  ui::CKestrelDlg dialog(state, environment);
  ui::RecordingPresenter presenter;
  dialog.SetMessageBoxPresenter(&presenter);

  bool saved = false;
  input::RunModalScript(dialog, [&] {
    dialog.AddressEdit.SetWindowText(kDeviceAddress);
    dialog.PortEdit.SetWindowText(std::to_string(sim.ports().command));
    input::Click(dialog.ConnectButton);
    if (dialog.connected == 0) return;
    input::Click(dialog.ReadCountsButton);
    input::PumpMessages(100ms);
    saved = input::SaveWindowImage(dialog, dir + "/window-connected.png");

    input::Click(dialog.StartStopButton);
    input::Click(dialog.AutoUpdateCheck);
    input::PumpMessages(2300ms);
    saved = saved && input::SaveWindowImage(dialog, dir + "/window-counting.png");
  });
  sim.Stop();

  for (const auto& box : presenter.boxes) std::fprintf(stderr, "message: %s\n", box.text.c_str());
  if (!saved) std::fprintf(stderr, "could not write the images into %s\n", dir.c_str());
  return saved && presenter.boxes.empty() ? 0 : 1;
}
