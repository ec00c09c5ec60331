#pragma once
// The application object: the framework's entry starts the platform session
// and calls InitInstance; when that returns false the process ends with the
// exit code of ExitInstance.
#include <string>

#include "framework/Wnd.h"

namespace fw {

class CWinApp {
 public:
  CWinApp() = default;
  virtual ~CWinApp() = default;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The framework's entry: returns the process exit code.
  int Run(int argc, char** argv);

  virtual bool InitInstance() { return false; }
  virtual int ExitInstance() { return 0; }

  // The window whose end ends the application.
  CWnd* m_pMainWnd = nullptr;
};

}  // namespace fw
