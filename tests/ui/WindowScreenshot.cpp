// Writes an image of the main window as it first appears, for the docs:
//   ui_window_screenshot OUT.png [--connected]
// With --connected the window shows an eight-input device with counters, to
// check the count area's fonts and room.
#include <cstdio>

#include "framework/PlatformApp.h"
#include "framework/testing/OperatorInput.h"
#include "tests/ui/FakeAdapters.h"
#include "ui/KestrelDlg.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
    return 2;
  }
  const std::string out = argv[1];
  fw::PlatformApp app(argc, argv);
  kestrel::DeviceState state;
  kestrel::ui::KestrelDlgEnvironment environment;
  environment.readAdapters = [] {
    return kestrel::ui::FakeSnapshot({{10, "veth0", {"10.77.0.1"}}, {11, "veth1", {"10.77.0.2"}}});
  };
  kestrel::ui::CKestrelDlg dialog(state, environment);
  const bool connected = argc > 2 && std::string(argv[2]) == "--connected";
  bool saved = false;
  fw::testing::RunModalScript(dialog, [&] {
    if (connected) {
      state.modelIndex = 21;  // eight inputs
      state.unitId = 3;
      state.countPeriod = 2;
      for (auto& input : state.inputs) input.enabled = 1;
      state.countingOn = 1;
      dialog.connected = 1;
      dialog.RefreshControls();
      for (int k = 0; k < kestrel::kMaxInputs; ++k) {
        dialog.InputControls.CountText[k]->SetWindowText(k == 0 ? "4294967295"
                                                                : std::to_string(k * 1234));
      }
    }
    saved = fw::testing::SaveWindowImage(dialog, out);
  });
  if (!saved) std::fprintf(stderr, "could not write %s\n", out.c_str());
  return saved ? 0 : 1;
}
