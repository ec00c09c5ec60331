// Counter reading on demand and by the auto-update timer.
#include "KestrelDlg.h"

namespace kestrel {

// STUB: count reading is not built yet; these handlers do nothing.
void CKestrelDlg::OnReadCountsButton() { ReadAllCounts(); }
void CKestrelDlg::OnAutoUpdateCheck() {}
void CKestrelDlg::OnTimer(std::uintptr_t /*timerId*/) { ReadAllCounts(); }
void CKestrelDlg::ReadAllCounts() {}

}  // namespace kestrel
