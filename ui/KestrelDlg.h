#pragma once
// The main window: the template's controls bound to members, the per-input
// control arrays, the interface list and the display of the device state.
#include <cstdint>
#include <string>

#include "common/DeviceState.h"
#include "device/CommandSet.h"
#include "device/FrontEnd.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Font.h"
#include "net/AdapterTable.h"
#include "net/CommandChannel.h"
#include "res/VersionText.h"
#include "ui/InputControls.h"
#include "ui/KestrelEnvironment.h"

namespace kestrel::ui {

class CKestrelDlg : public fw::CDialog, public device::FrontEnd {
 public:
  explicit CKestrelDlg(DeviceState& state, KestrelDlgEnvironment environment = {},
                       fw::CWnd* parent = nullptr);
  ~CKestrelDlg() override;

  // How device operations reach the operator and the display.
  void ShowMessage(const std::string& text) override;
  void RefreshControls() override;
  void UpdateCountingControls() override;
  void StopAutoUpdate() override;

 private:
  // Not part of the window's own state: what it works on and with.
  DeviceState& state_;
  KestrelDlgEnvironment environment_;

 public:
  // The controls the window drives, bound by the control binding.
  fw::CStatic AlertConditionCaption;
  fw::CStatic AlertValueCaption;
  fw::CStatic AlertInputCaption;
  fw::CStatic AlertTitleCaption;
  fw::CComboBox AdapterList;
  fw::CStatic VersionText;
  fw::CStatic CountLabelDI8, CountLabelDI7, CountLabelDI6, CountLabelDI5;
  fw::CStatic CountLabelDI4, CountLabelDI3, CountLabelDI2, CountLabelDI1;
  fw::CStatic CountTextDI8, CountTextDI7, CountTextDI6, CountTextDI5;
  fw::CStatic CountTextDI4, CountTextDI3, CountTextDI2, CountTextDI1;
  fw::CComboBox EdgeListDI8, EdgeListDI7, EdgeListDI6, EdgeListDI5;
  fw::CComboBox EdgeListDI4, EdgeListDI3, EdgeListDI2, EdgeListDI1;
  fw::CButton EnableCheckDI8, EnableCheckDI7, EnableCheckDI6, EnableCheckDI5;
  fw::CButton EnableCheckDI4, EnableCheckDI3, EnableCheckDI2, EnableCheckDI1;
  fw::CStatic CountingStateText;
  fw::CComboBox AlertInputList;
  fw::CStatic UnitIdText;
  fw::CEdit AlertValueEdit;
  fw::CComboBox PeriodList;
  fw::CEdit PortEdit;
  fw::CButton StartStopButton;
  fw::CStatic ModelText;
  fw::CEdit AddressEdit;
  fw::CComboBox AlertConditionList;
  fw::CButton ReadCountsButton;
  fw::CEdit IntervalEdit;
  fw::CButton AutoUpdateCheck;
  fw::CButton ConnectButton;
  fw::CButton ApplySettingsButton;
  fw::CButton ReceiveSettingsButton;
  fw::CComboBox ChatterList;

  fw::HICON m_hIcon = nullptr;
  fw::CFont CountFont;
  std::int32_t connected = 0;
  net::CommandChannel channel;  // MainSlot and ConfigSlot
  device::CommandSet commands;     // the device operations, reporting to this window
  InputControlTable InputControls;
  res::FileVersion version;
  std::string versionText;
  net::AdapterTable adapterTable;

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(fw::DataExchange& dx) override;
  bool PreTranslateMessage(fw::Msg& msg) override;
  const fw::MessageMap* GetMessageMap() const override;

 private:
  // Fills adapterTable; false when the adapter list could not be read and
  // the process is to end.
  bool EnumerateAdapters();
  void SetUpCountDisplay();

  // Message handlers.
  void OnPaint();
  fw::HICON OnQueryDragIcon();
  void OnConnectButton();
  void OnStartStopButton();
  void OnReceiveSettingsButton();
  void OnApplySettingsButton();
  void OnSelchangePeriodList();
  void OnSelchangeChatterList();
  void OnSelchangeAlertInputList();
  void OnChangeAlertValueEdit();
  void OnSelchangeAlertConditionList();
  void OnReadCountsButton();
  void OnAutoUpdateCheck();
  void OnTimer(std::uintptr_t timerId);
  void OnEnableCheck(int input);
  void OnSelchangeEdgeList(int input);
  template <int Input>
  void OnEnableCheckClicked() {
    OnEnableCheck(Input);
  }
  template <int Input>
  void OnSelchangeEdgeListOf() {
    OnSelchangeEdgeList(Input);
  }
  void OnSelchangeAdapterList();

  void ReadAllCounts();
};

// The window's one timer: periodic counter reading.
inline constexpr std::uintptr_t kAutoUpdateTimer = 1;

}  // namespace kestrel::ui
