#include "app/KestrelApp.h"

#include "net/Socket.h"
#include "ui/KestrelDlg.h"

namespace kestrel::app {

// Runs the main window; the program ends when it closes, whatever its result.
// The socket library stays started until the process ends.
bool CKestrelApp::InitInstance() {
  net::StartSocketLibrary();
  {
    ui::CKestrelDlg dialog(deviceState);
    m_pMainWnd = &dialog;
    dialog.DoModal();
  }
  m_pMainWnd = nullptr;
  return false;
}

}  // namespace kestrel::app
