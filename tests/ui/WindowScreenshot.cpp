// Writes an image of the main window as it first appears, for the docs:
//   ui_window_screenshot OUT.png
#include <cstdio>

#include "FakeAdapters.h"
#include "framework/Session.h"
#include "framework/testing/OperatorInput.h"
#include "ui/KestrelDlg.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
    return 2;
  }
  const std::string out = argv[1];
  fw::FrameworkSession session(argc, argv);
  kestrel::DeviceState state;
  kestrel::KestrelDlgEnvironment environment;
  environment.readAdapters = [] {
    return kestrel::test::FakeSnapshot({{10, "veth0", {"10.77.0.1"}}, {11, "veth1", {"10.77.0.2"}}});
  };
  kestrel::CKestrelDlg dialog(state, environment);
  bool saved = false;
  fw::testing::RunModalScript(dialog, [&] { saved = fw::testing::SaveWindowImage(dialog, out); });
  if (!saved) std::fprintf(stderr, "could not write %s\n", out.c_str());
  return saved ? 0 : 1;
}
