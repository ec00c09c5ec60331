// Counter reading on demand and by the auto-update timer.
#include <cstdio>

#include "common/ModelTable.h"
#include "framework/WindowStyles.h"
#include "ui/AutoUpdateInterval.h"
#include "ui/KestrelDlg.h"

namespace kestrel::ui {

void CKestrelDlg::OnReadCountsButton() { ReadAllCounts(); }

// Every tick reads, whatever its identifier: the window has one timer only.
void CKestrelDlg::OnTimer(std::uintptr_t /*timerId*/) { ReadAllCounts(); }

// The box is an automatic check box: it has already changed when this runs.
// A new interval takes effect only when the box is cleared and ticked again.
void CKestrelDlg::OnAutoUpdateCheck() {
  if (AutoUpdateCheck.GetCheck() != fw::BST_CHECKED) {
    KillTimer(kAutoUpdateTimer);
    state_.autoUpdateActive = 0;
    return;
  }
  const std::optional<std::uint32_t> periodMs = AutoUpdatePeriodMs(IntervalEdit.GetWindowText());
  if (!periodMs) {
    // An interval of 0 only clears the box; no message, no timer.
    AutoUpdateCheck.SetCheck(fw::BST_UNCHECKED);
    return;
  }
  SetTimer(kAutoUpdateTimer, *periodMs);
  state_.autoUpdateActive = 1;
}

// The check box on the screen decides which inputs are read, not the stored
// setting. The first failed read ends the pass (it has stopped auto-update
// and shown its message); the counters from there on keep their old texts.
void CKestrelDlg::ReadAllCounts() {
  for (int k = 0; k < CurrentInputCount(state_); ++k) {
    const auto input = static_cast<std::size_t>(k);
    if (InputControls.EnableCheck[input]->GetCheck() != fw::BST_CHECKED) {
      InputControls.CountText[input]->SetWindowText("");
      continue;
    }
    if (Failed(commands.ReadCount(k))) return;
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(state_.inputs[input].count));
    InputControls.CountText[input]->SetWindowText(text);
  }
}

}  // namespace kestrel::ui
