#pragma once
#include "common/DeviceState.h"
#include "framework/WinApp.h"

namespace kestrel::app {

// The application: owns the one device state of the process and runs the
// main window once.
class CKestrelApp : public fw::CWinApp {
 public:
  bool InitInstance() override;

  DeviceState deviceState;
};

}  // namespace kestrel::app
