// KestrelW's start-up, up to the moment its main window is shown: the same
// steps as the application's (platform application object, socket library,
// main window with its interface list and controls), with one addition: once
// the window is shown, "shown" is written to standard output and the window
// is closed. The benchmark times a process of this from its launch to that line.
#include <cstdio>

#include "common/DeviceState.h"
#include "framework/PlatformApp.h"
#include "framework/testing/OperatorInput.h"
#include "net/Socket.h"
#include "ui/KestrelDlg.h"

int main(int argc, char** argv) {
  fw::PlatformApp app(argc, argv);
  kestrel::net::StartSocketLibrary();
  kestrel::DeviceState state;
  kestrel::ui::CKestrelDlg dialog(state);
  const int result = fw::testing::RunModalScript(dialog, [] {
    std::puts("shown");
    std::fflush(stdout);
  });
  return result == fw::testing::kLeftOpen ? 0 : 1;
}
