// The settings controls and the three settings buttons.
#include "KestrelDlg.h"

namespace kestrel {

// STUB: the settings workflow is not built yet; these handlers do nothing.
void CKestrelDlg::OnStartStopButton() {}
void CKestrelDlg::OnReceiveSettingsButton() {}
void CKestrelDlg::OnApplySettingsButton() {}
void CKestrelDlg::OnSelchangePeriodList() {}
void CKestrelDlg::OnSelchangeChatterList() {}
void CKestrelDlg::OnSelchangeAlertInputList() {}
void CKestrelDlg::OnChangeAlertValueEdit() {}
void CKestrelDlg::OnSelchangeAlertConditionList() {}
void CKestrelDlg::OnEnableCheck(int /*input*/) {}
void CKestrelDlg::OnSelchangeEdgeList(int /*input*/) {}

}  // namespace kestrel
