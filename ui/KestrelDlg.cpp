// Construction, control binding, message table, key filter and start-up of
// the main window.
#include "ui/KestrelDlg.h"

#include <algorithm>
#include <array>
#include <utility>

#include "common/OperatorTexts.h"
#include "common/Protocol.h"
#include "framework/WindowStyles.h"
#include "res/MainDialog.h"
#include "res/Resource.h"
#include "ui/InputWiring.h"

namespace kestrel::ui {

using namespace res;

namespace {
constexpr int kCountFontTenths = 180;
constexpr const char* kCountFontFace = "ＭＳ ゴシック";
constexpr const char* kLargestCount = "4294967295";
constexpr const char* kDefaultInterval = "1";
}  // namespace

CKestrelDlg::CKestrelDlg(DeviceState& state, KestrelDlgEnvironment environment, fw::CWnd* parent)
    : fw::CDialog(MainDialogTemplate(), parent),
      state_(state),
      environment_(std::move(environment)),
      m_hIcon(&MainIcon()),
      channel(state, environment_.channelTimeouts),
      commands(state, channel, *this) {
  state_.autoUpdateActive = 0;
  InputControls = BuildInputControls(*this);
  version = OwnFileVersion();
  versionText = FormatVersionText(version);
}

// Nothing is sent on the way out. The command channel closes an open
// connection as it is destroyed, a moment before the process ends; the device
// would see the close at process end either way.
CKestrelDlg::~CKestrelDlg() = default;

void CKestrelDlg::DoDataExchange(fw::DataExchange& dx) {
  fw::CDialog::DoDataExchange(dx);
  const std::array<std::pair<int, fw::CWnd*>, 6> head{{
      {IDC_ALERT_CONDITION_CAPTION, &AlertConditionCaption},
      {IDC_ALERT_VALUE_CAPTION, &AlertValueCaption},
      {IDC_ALERT_INPUT_CAPTION, &AlertInputCaption},
      {IDC_ALERT_TITLE_CAPTION, &AlertTitleCaption},
      {IDC_ADAPTER_LIST, &AdapterList},
      {IDC_VERSION_TEXT, &VersionText},
  }};
  for (const auto& [id, control] : head) fw::DDX_Control(dx, id, *control);
  // The per-input controls, kind by kind, each from DI8 down to DI1.
  for (std::size_t k = kMaxInputs; k-- > 0;)
    fw::DDX_Control(dx, kInputWiring[k].countLabelId, this->*kInputWiring[k].countLabel);
  for (std::size_t k = kMaxInputs; k-- > 0;)
    fw::DDX_Control(dx, kInputWiring[k].countTextId, this->*kInputWiring[k].countText);
  for (std::size_t k = kMaxInputs; k-- > 0;)
    fw::DDX_Control(dx, kInputWiring[k].edgeListId, this->*kInputWiring[k].edgeList);
  for (std::size_t k = kMaxInputs; k-- > 0;)
    fw::DDX_Control(dx, kInputWiring[k].enableCheckId, this->*kInputWiring[k].enableCheck);
  const std::array<std::pair<int, fw::CWnd*>, 17> tail{{
      {IDC_COUNTING_STATE_TEXT, &CountingStateText},
      {IDC_ALERT_INPUT_LIST, &AlertInputList},
      {IDC_UNIT_ID_TEXT, &UnitIdText},
      {IDC_ALERT_VALUE_EDIT, &AlertValueEdit},
      {IDC_PERIOD_LIST, &PeriodList},
      {IDC_PORT_EDIT, &PortEdit},
      {IDC_START_STOP_BUTTON, &StartStopButton},
      {IDC_MODEL_TEXT, &ModelText},
      {IDC_ADDRESS_EDIT, &AddressEdit},
      {IDC_ALERT_CONDITION_LIST, &AlertConditionList},
      {IDC_READ_COUNTS_BUTTON, &ReadCountsButton},
      {IDC_INTERVAL_EDIT, &IntervalEdit},
      {IDC_AUTO_UPDATE_CHECK, &AutoUpdateCheck},
      {IDC_CONNECT_BUTTON, &ConnectButton},
      {IDC_APPLY_SETTINGS_BUTTON, &ApplySettingsButton},
      {IDC_RECEIVE_SETTINGS_BUTTON, &ReceiveSettingsButton},
      {IDC_CHATTER_LIST, &ChatterList},
  }};
  for (const auto& [id, control] : tail) fw::DDX_Control(dx, id, *control);
}

const fw::MessageMap* CKestrelDlg::GetMessageMap() const {
  using D = CKestrelDlg;
  // Each input's check box and edge list, from the wiring table.
  const auto perInput = []<std::size_t... K>(std::index_sequence<K...>) {
    return std::array<fw::MessageEntry, 2 * sizeof...(K)>{{
        fw::OnClicked(kInputWiring[K].enableCheckId, &D::OnEnableCheckClicked<K>)...,
        fw::OnSelChange(kInputWiring[K].edgeListId, &D::OnSelchangeEdgeListOf<K>)...,
    }};
  };
  static const std::array<fw::MessageEntry, 15> own{{
      fw::OnPaintMessage(&D::OnPaint),
      fw::OnQueryDragIconMessage(&D::OnQueryDragIcon),
      fw::OnClicked(IDC_CONNECT_BUTTON, &D::OnConnectButton),
      fw::OnClicked(IDC_START_STOP_BUTTON, &D::OnStartStopButton),
      fw::OnClicked(IDC_RECEIVE_SETTINGS_BUTTON, &D::OnReceiveSettingsButton),
      fw::OnClicked(IDC_APPLY_SETTINGS_BUTTON, &D::OnApplySettingsButton),
      fw::OnSelChange(IDC_PERIOD_LIST, &D::OnSelchangePeriodList),
      fw::OnSelChange(IDC_CHATTER_LIST, &D::OnSelchangeChatterList),
      fw::OnSelChange(IDC_ALERT_INPUT_LIST, &D::OnSelchangeAlertInputList),
      fw::OnEditChange(IDC_ALERT_VALUE_EDIT, &D::OnChangeAlertValueEdit),
      fw::OnSelChange(IDC_ALERT_CONDITION_LIST, &D::OnSelchangeAlertConditionList),
      fw::OnClicked(IDC_READ_COUNTS_BUTTON, &D::OnReadCountsButton),
      fw::OnClicked(IDC_AUTO_UPDATE_CHECK, &D::OnAutoUpdateCheck),
      fw::OnTimerMessage(&D::OnTimer),
      fw::OnSelChange(IDC_ADAPTER_LIST, &D::OnSelchangeAdapterList),
  }};
  constexpr std::size_t kEntries = std::tuple_size_v<decltype(own)> + 2 * kMaxInputs;
  static const std::array<fw::MessageEntry, kEntries> entries = [&] {
    const auto inputs = perInput(std::make_index_sequence<kMaxInputs>{});
    std::array<fw::MessageEntry, kEntries> all{};
    std::copy(inputs.begin(), inputs.end(), std::copy(own.begin(), own.end(), all.begin()));
    return all;
  }();
  static const fw::MessageMap map{fw::CDialog::GetMessageMap(), entries};
  return &map;
}

// Enter goes to the focused control as an ordinary keystroke, so it never
// presses a button and never closes the window. Escape still cancels.
bool CKestrelDlg::PreTranslateMessage(fw::Msg& msg) {
  if (msg.message == fw::WM_KEYDOWN && msg.wParam == fw::VK_RETURN) return false;
  return fw::CDialog::PreTranslateMessage(msg);
}

bool CKestrelDlg::OnInitDialog() {
  fw::CDialog::OnInitDialog();
  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);

  if (!EnumerateAdapters()) {
    // Only reached when ending the process came back (tests do that).
    EndDialog(-1);
    return false;
  }
  if (adapterTable.count == 0) {
    MessageBox(kMsgNoNetworkDevice);
    EndDialog(-1);
    return false;
  }
  for (std::int32_t i = 0; i < adapterTable.count; ++i) {
    AdapterList.AddString(net::AdapterListText(adapterTable.rows[static_cast<std::size_t>(i)]));
  }
  AdapterList.SetCurSel(0);
  OnSelchangeAdapterList();

  VersionText.SetWindowText(versionText);
  SetUpCountDisplay();

  state_.countingOn = 0;
  state_.startStopRunning = 0;
  state_.protocolFamily = ProtocolFamily::Unknown;
  connected = 0;
  RefreshControls();
  return true;
}

// The counters use a large fixed-pitch face; the widest value goes in first
// so each field shows at once what it can hold.
void CKestrelDlg::SetUpCountDisplay() {
  CountFont.CreatePointFont(kCountFontTenths, kCountFontFace);
  for (int k = 0; k < kMaxInputs; ++k) {
    InputControls.CountText[k]->SetFont(&CountFont, true);
    InputControls.CountText[k]->SetWindowText(kLargestCount);
    InputControls.CountLabel[k]->SetFont(&CountFont, true);
  }
  PortEdit.SetWindowText(protocol::kCommandPortText);
  IntervalEdit.SetWindowText(kDefaultInterval);
}

void CKestrelDlg::ShowMessage(const std::string& text) { MessageBox(text); }

// The box is cleared first and then handled as if the operator had cleared
// it, which stops the timer: a failed read needs the timer gone before its
// message box opens.
void CKestrelDlg::StopAutoUpdate() {
  AutoUpdateCheck.SetCheck(fw::BST_UNCHECKED);
  OnAutoUpdateCheck();
}

// While minimized the client area shows the application icon, centred.
void CKestrelDlg::OnPaint() {
  if (IsIconic()) DrawIconCentred(m_hIcon);
}

fw::HICON CKestrelDlg::OnQueryDragIcon() { return m_hIcon; }

}  // namespace kestrel::ui
