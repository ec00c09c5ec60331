#include "framework/WinApp.h"

#include "framework/PlatformApp.h"
#include "framework/backend/Backend.h"

namespace fw {

PlatformApp::PlatformApp(int& argc, char** argv)
    : app_(backend::StartPlatformApp(argc, argv)) {}

PlatformApp::~PlatformApp() = default;

int PlatformApp::RunMessageLoop() { return app_->RunMessageLoop(); }

int CWinApp::Run(int argc, char** argv) {
  PlatformApp app(argc, argv);
  if (!InitInstance()) return ExitInstance();
  app.RunMessageLoop();
  return ExitInstance();
}

}  // namespace fw
