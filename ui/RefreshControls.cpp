// Re-populating the window from the device state and the connection flag.
#include <string>

#include "common/ModelTable.h"
#include "common/OperatorTexts.h"
#include "device/CountingState.h"
#include "framework/WindowStyles.h"
#include "ui/ChatterIndex.h"
#include "ui/KestrelDlg.h"

namespace kestrel::ui {

void CKestrelDlg::RefreshControls() {
  const int inputCount = CurrentInputCount(state_);
  if (connected != 0) {
    ConnectButton.SetWindowText("切断");
    UnitIdText.SetWindowText(std::to_string(state_.unitId));
    ModelText.SetWindowText(ModelRowAt(state_.modelIndex).displayName);
    PeriodList.SetCurSel(state_.countPeriod);
    ChatterList.SetCurSel(ChatterIndexOf(state_.chatterCode));
    AlertInputList.ResetContent();
    for (int k = 0; k < inputCount; ++k) {
      AlertInputList.AddString("DI" + std::to_string(k + 1));
      InputControls.EnableCheck[k]->SetCheck(state_.inputs[k].enabled != 0 ? fw::BST_CHECKED
                                                                             : fw::BST_UNCHECKED);
      InputControls.EdgeList[k]->SetCurSel(state_.inputs[k].edge);
      InputControls.CountLabel[k]->ShowWindow(fw::SW_SHOW);
    }
    // The mail-alert settings belong to a command variant this window does
    // not speak; once a device is connected they stay out of sight.
    for (fw::CWnd* alert : {static_cast<fw::CWnd*>(&AlertInputList),
                            static_cast<fw::CWnd*>(&AlertValueEdit),
                            static_cast<fw::CWnd*>(&AlertConditionList),
                            static_cast<fw::CWnd*>(&AlertTitleCaption),
                            static_cast<fw::CWnd*>(&AlertInputCaption),
                            static_cast<fw::CWnd*>(&AlertValueCaption),
                            static_cast<fw::CWnd*>(&AlertConditionCaption)}) {
      alert->ShowWindow(fw::SW_HIDE);
    }
    AdapterList.EnableWindow(false);
  } else {
    ConnectButton.SetWindowText("接続");
    UnitIdText.SetWindowText("");
    ModelText.SetWindowText("");
    PeriodList.SetCurSel(-1);
    ChatterList.SetCurSel(-1);
    AlertInputList.SetCurSel(-1);
    for (int k = 0; k < kMaxInputs; ++k) {
      InputControls.CountText[k]->SetWindowText("");
      InputControls.CountLabel[k]->ShowWindow(fw::SW_HIDE);
    }
    AlertValueEdit.SetWindowText("");
    AlertConditionList.SetCurSel(-1);
    // The edge lists keep the last device's edges; only their state changes.
    for (int k = 0; k < kMaxInputs; ++k) {
      InputControls.EnableCheck[k]->SetCheck(fw::BST_UNCHECKED);
      InputControls.EnableCheck[k]->EnableWindow(false);
      InputControls.EdgeList[k]->EnableWindow(false);
    }
    AdapterList.EnableWindow(true);
  }

  AddressEdit.EnableWindow(connected == 0);
  PortEdit.EnableWindow(connected == 0);
  StartStopButton.EnableWindow(connected != 0);
  ReadCountsButton.EnableWindow(connected != 0);
  UpdateCountingControls();
}

void CKestrelDlg::UpdateCountingControls() {
  const bool counting = device::CountingState(state_);
  CountingStateText.SetWindowText(PulseCountText(counting));
  AutoUpdateCheck.EnableWindow(counting);
  IntervalEdit.EnableWindow(counting);

  const bool editable = device::SettingsEditable(state_, connected);
  for (int k = 0; k < CurrentInputCount(state_); ++k) {
    InputControls.EnableCheck[k]->EnableWindow(editable);
    InputControls.EdgeList[k]->EnableWindow(editable);
  }
  PeriodList.EnableWindow(editable);
  ChatterList.EnableWindow(editable);
  ReceiveSettingsButton.EnableWindow(editable);
  ApplySettingsButton.EnableWindow(editable);

  AlertValueEdit.EnableWindow(false);
  AlertInputList.EnableWindow(false);
  AlertConditionList.EnableWindow(false);
}

}  // namespace kestrel::ui
