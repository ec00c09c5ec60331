// Construction, control binding, message table, key filter and start-up of
// the main window.
#include "KestrelDlg.h"

#include <array>

#include "framework/WindowStyles.h"
#include "res/MainDialog.h"
#include "res/Resource.h"

namespace kestrel {

using namespace res;

namespace {
constexpr const char* kNoAdapterMessage = "ネットワークデバイスが見つかりませんでした。";
constexpr int kCountFontTenths = 180;
constexpr const char* kCountFontFace = "ＭＳ ゴシック";
constexpr const char* kLargestCount = "4294967295";
constexpr const char* kDefaultPort = "10003";
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
  const std::array<std::pair<int, fw::CWnd*>, 55> bindings{{
      {IDC_ALERT_CONDITION_CAPTION, &AlertConditionCaption},
      {IDC_ALERT_VALUE_CAPTION, &AlertValueCaption},
      {IDC_ALERT_INPUT_CAPTION, &AlertInputCaption},
      {IDC_ALERT_TITLE_CAPTION, &AlertTitleCaption},
      {IDC_ADAPTER_LIST, &AdapterList},
      {IDC_VERSION_TEXT, &VersionText},
      {IDC_COUNT_LABEL8, &CountLabelDI8},
      {IDC_COUNT_LABEL7, &CountLabelDI7},
      {IDC_COUNT_LABEL6, &CountLabelDI6},
      {IDC_COUNT_LABEL5, &CountLabelDI5},
      {IDC_COUNT_LABEL4, &CountLabelDI4},
      {IDC_COUNT_LABEL3, &CountLabelDI3},
      {IDC_COUNT_LABEL2, &CountLabelDI2},
      {IDC_COUNT_LABEL1, &CountLabelDI1},
      {IDC_COUNT_TEXT8, &CountTextDI8},
      {IDC_COUNT_TEXT7, &CountTextDI7},
      {IDC_COUNT_TEXT6, &CountTextDI6},
      {IDC_COUNT_TEXT5, &CountTextDI5},
      {IDC_COUNT_TEXT4, &CountTextDI4},
      {IDC_COUNT_TEXT3, &CountTextDI3},
      {IDC_COUNT_TEXT2, &CountTextDI2},
      {IDC_COUNT_TEXT1, &CountTextDI1},
      {IDC_EDGE_LIST8, &EdgeListDI8},
      {IDC_EDGE_LIST7, &EdgeListDI7},
      {IDC_EDGE_LIST6, &EdgeListDI6},
      {IDC_EDGE_LIST5, &EdgeListDI5},
      {IDC_EDGE_LIST4, &EdgeListDI4},
      {IDC_EDGE_LIST3, &EdgeListDI3},
      {IDC_EDGE_LIST2, &EdgeListDI2},
      {IDC_EDGE_LIST1, &EdgeListDI1},
      {IDC_ENABLE_CHECK8, &EnableCheckDI8},
      {IDC_ENABLE_CHECK7, &EnableCheckDI7},
      {IDC_ENABLE_CHECK6, &EnableCheckDI6},
      {IDC_ENABLE_CHECK5, &EnableCheckDI5},
      {IDC_ENABLE_CHECK4, &EnableCheckDI4},
      {IDC_ENABLE_CHECK3, &EnableCheckDI3},
      {IDC_ENABLE_CHECK2, &EnableCheckDI2},
      {IDC_ENABLE_CHECK1, &EnableCheckDI1},
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
  for (const auto& [id, control] : bindings) fw::DDX_Control(dx, id, *control);
}

const fw::MessageMap* CKestrelDlg::GetMessageMap() const {
  using D = CKestrelDlg;
  static const std::array<fw::MessageEntry, 31> entries{{
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
      fw::OnClicked(IDC_ENABLE_CHECK1, &D::OnEnableCheckClicked<0>),
      fw::OnClicked(IDC_ENABLE_CHECK2, &D::OnEnableCheckClicked<1>),
      fw::OnClicked(IDC_ENABLE_CHECK3, &D::OnEnableCheckClicked<2>),
      fw::OnClicked(IDC_ENABLE_CHECK4, &D::OnEnableCheckClicked<3>),
      fw::OnClicked(IDC_ENABLE_CHECK5, &D::OnEnableCheckClicked<4>),
      fw::OnClicked(IDC_ENABLE_CHECK6, &D::OnEnableCheckClicked<5>),
      fw::OnClicked(IDC_ENABLE_CHECK7, &D::OnEnableCheckClicked<6>),
      fw::OnClicked(IDC_ENABLE_CHECK8, &D::OnEnableCheckClicked<7>),
      fw::OnSelChange(IDC_EDGE_LIST1, &D::OnSelchangeEdgeListOf<0>),
      fw::OnSelChange(IDC_EDGE_LIST2, &D::OnSelchangeEdgeListOf<1>),
      fw::OnSelChange(IDC_EDGE_LIST3, &D::OnSelchangeEdgeListOf<2>),
      fw::OnSelChange(IDC_EDGE_LIST4, &D::OnSelchangeEdgeListOf<3>),
      fw::OnSelChange(IDC_EDGE_LIST5, &D::OnSelchangeEdgeListOf<4>),
      fw::OnSelChange(IDC_EDGE_LIST6, &D::OnSelchangeEdgeListOf<5>),
      fw::OnSelChange(IDC_EDGE_LIST7, &D::OnSelchangeEdgeListOf<6>),
      fw::OnSelChange(IDC_EDGE_LIST8, &D::OnSelchangeEdgeListOf<7>),
      fw::OnSelChange(IDC_ADAPTER_LIST, &D::OnSelchangeAdapterList),
  }};
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
    MessageBox(kNoAdapterMessage);
    EndDialog(-1);
    return false;
  }
  for (std::int32_t i = 0; i < adapterTable.count; ++i) {
    AdapterList.AddString(AdapterListText(adapterTable.rows[static_cast<std::size_t>(i)]));
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
  PortEdit.SetWindowText(kDefaultPort);
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

}  // namespace kestrel
