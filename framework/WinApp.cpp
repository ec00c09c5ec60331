#include "framework/WinApp.h"

#include "framework/Session.h"
#include "framework/backend/Backend.h"

namespace fw {

FrameworkSession::FrameworkSession(int& argc, char** argv)
    : session_(backend::StartSession(argc, argv)) {}

FrameworkSession::~FrameworkSession() = default;

int FrameworkSession::RunMessageLoop() { return session_->RunMessageLoop(); }

int CWinApp::Run(int argc, char** argv) {
  FrameworkSession session(argc, argv);
  if (!InitInstance()) return ExitInstance();
  session.RunMessageLoop();
  return ExitInstance();
}

}  // namespace fw
