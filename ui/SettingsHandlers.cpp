// The settings controls and the three settings buttons. The controls only
// store the operator's choice in the device state; nothing reaches the device
// until apply is pressed.
#include "device/Connect.h"
#include "framework/WindowStyles.h"
#include "ui/ChatterIndex.h"
#include "ui/KestrelDlg.h"

namespace kestrel::ui {

// Each operation reports its own failure once; the window adds nothing.
void CKestrelDlg::OnStartStopButton() { commands.ToggleCounting(); }
void CKestrelDlg::OnReceiveSettingsButton() { commands.ReceiveSettings(); }
void CKestrelDlg::OnApplySettingsButton() { commands.ApplySettings(); }

// List positions are the device codes (the chatter list aside), so a
// selection is stored as it is. A list without a selection stores nothing.
void CKestrelDlg::OnSelchangePeriodList() {
  if (const int index = PeriodList.GetCurSel(); index >= 0) state_.countPeriod = index;
}

void CKestrelDlg::OnSelchangeChatterList() {
  if (const int index = ChatterList.GetCurSel(); index >= 0)
    state_.chatterCode = ChatterCodeOf(index);
}

void CKestrelDlg::OnSelchangeAlertInputList() {
  if (const int index = AlertInputList.GetCurSel(); index >= 0) state_.alertInput = index;
}

void CKestrelDlg::OnSelchangeAlertConditionList() {
  if (const int index = AlertConditionList.GetCurSel(); index >= 0) state_.alertCondition = index;
}

// Read by the same rule as the port entry: leading blanks and a sign
// allowed, reading stops at the first other character, no number gives 0,
// values beyond 32 bits held at its ends.
void CKestrelDlg::OnChangeAlertValueEdit() {
  state_.alertValue = device::PortNumberOf(device::TrimEntry(AlertValueEdit.GetWindowText()));
}

// `input` comes from the message table, through the per-input arrays: DI6's
// box is 1048 and DI7's 1043, so no identifier arithmetic is involved.
void CKestrelDlg::OnEnableCheck(int input) {
  state_.inputs[static_cast<std::size_t>(input)].enabled =
      InputControls.EnableCheck[static_cast<std::size_t>(input)]->GetCheck() == fw::BST_CHECKED
          ? 1
          : 0;
}

void CKestrelDlg::OnSelchangeEdgeList(int input) {
  const int index = InputControls.EdgeList[static_cast<std::size_t>(input)]->GetCurSel();
  if (index >= 0) state_.inputs[static_cast<std::size_t>(input)].edge = index;
}

}  // namespace kestrel::ui
