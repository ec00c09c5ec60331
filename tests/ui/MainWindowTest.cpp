// The main window as the operator first sees it: every control of the
// template, the lists, the first-display state, the keyboard, the interface
// list and the refresh of the connected state.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "framework/AppTitle.h"
#include "framework/WindowStyles.h"
#include "framework/qt/QtAccess.h"
#include "framework/testing/OperatorInput.h"
#include "res/Resource.h"
#include "tests/ui/FakeAdapters.h"
#include "tests/ui/RecordingPresenter.h"
#include "ui/KestrelDlg.h"

namespace kestrel::ui {
namespace {

using fw::testing::Click;
using fw::testing::Key;
using fw::testing::kLeftOpen;
using fw::testing::Pick;
using fw::testing::PressKey;
using fw::testing::RunModalScript;
using fw::testing::Type;

// What an input method hands the focused edit when the operator confirms
// the composed text.
void CommitInputMethodText(fw::CWnd& edit, const std::string& text) {
  QWidget* widget = fw::qt::WidgetOf(edit);
  widget->setFocus(Qt::OtherFocusReason);
  QInputMethodEvent event;
  event.setCommitString(QString::fromStdString(text));
  QApplication::sendEvent(widget, &event);
}

enum class K {
  Caption, RightCaption, CountValue, CountName, Edit, DigitsEdit, RightEdit,
  Push, Check, Group, DropList, GreyLine, SunkenLine
};

struct Expected {
  int id;
  K kind;
  const char* caption;  // as in the template
  fw::DialogRect rect;
};

// The window's controls in creation and tab order.
const Expected kControls[] = {
    {-1, K::Caption, "IP アドレス:", {5, 53, 40, 8}},
    {1000, K::Edit, "", {55, 50, 60, 14}},
    {-1, K::Caption, "ポート番号:", {135, 53, 40, 8}},
    {1001, K::DigitsEdit, "", {195, 50, 35, 14}},
    {1002, K::Push, "***", {250, 50, 50, 14}},
    {-1, K::Caption, "UNIT ID", {15, 75, 35, 8}},
    {1019, K::Caption, "***", {60, 75, 30, 8}},
    {-1, K::Caption, "Model ID", {105, 75, 35, 8}},
    {1020, K::Caption, "***", {150, 75, 150, 8}},
    {-1, K::Group, "パルスカウント設定", {5, 95, 295, 170}},
    {1006, K::Push, "設定受信", {185, 110, 50, 14}},
    {1007, K::Push, "設定反映", {240, 110, 50, 14}},
    {-1, K::Caption, "計数期間", {15, 142, 65, 8}},
    {1004, K::DropList, "", {85, 140, 60, 215}},
    {-1, K::Caption, "チャタリング除去", {15, 162, 65, 8}},
    {1005, K::DropList, "", {85, 160, 60, 175}},
    {1069, K::Caption, "パルスカウントメールアラート設定", {15, 180, 99, 8}},
    {1070, K::Caption, "判定入力信号", {25, 195, 55, 8}},
    {1023, K::DropList, "", {85, 192, 60, 85}},
    {1071, K::Caption, "判定値", {25, 213, 55, 8}},
    {1013, K::DigitsEdit, "", {85, 210, 60, 14}},
    {1072, K::Caption, "判定条件", {25, 232, 55, 8}},
    {1014, K::DropList, "", {85, 230, 60, 85}},
    {1033, K::Check, "DI1 有効", {160, 142, 42, 10}},
    {1034, K::Caption, "エッジ", {215, 142, 25, 8}},
    {1010, K::DropList, "", {250, 140, 40, 95}},
    {1035, K::Check, "DI2 有効", {160, 157, 42, 10}},
    {1036, K::Caption, "エッジ", {215, 157, 25, 8}},
    {1011, K::DropList, "", {250, 156, 40, 95}},
    {1037, K::Check, "DI3 有効", {160, 172, 42, 10}},
    {1038, K::Caption, "エッジ", {215, 172, 25, 8}},
    {1015, K::DropList, "", {250, 170, 40, 95}},
    {1039, K::Check, "DI4 有効", {160, 187, 42, 10}},
    {1040, K::Caption, "エッジ", {215, 187, 25, 8}},
    {1021, K::DropList, "", {250, 186, 40, 95}},
    {1041, K::Check, "DI5 有効", {160, 202, 42, 10}},
    {1042, K::Caption, "エッジ", {215, 202, 25, 8}},
    {1030, K::DropList, "", {250, 200, 40, 95}},
    {1048, K::Check, "DI6 有効", {160, 217, 42, 10}},
    {1049, K::Caption, "エッジ", {215, 217, 25, 8}},
    {1032, K::DropList, "", {250, 216, 40, 95}},
    {1043, K::Check, "DI7 有効", {160, 232, 42, 10}},
    {1044, K::Caption, "エッジ", {215, 232, 25, 8}},
    {1045, K::DropList, "", {250, 230, 40, 95}},
    {1031, K::Caption, "***", {45, 280, 100, 8}},
    {1003, K::Push, "Start/Stop", {195, 270, 90, 30}},
    {-1, K::GreyLine, "", {5, 305, 295, 1}},
    {1016, K::Push, "カウント値受信", {5, 315, 55, 14}},
    {1017, K::Check, "自動更新", {5, 345, 43, 10}},
    {-1, K::Caption, "更新間隔", {5, 365, 29, 8}},
    {1018, K::RightEdit, "", {5, 375, 30, 14}},
    {-1, K::Caption, "秒", {40, 378, 8, 8}},
    {1046, K::CountValue, "DI1", {105, 315, 75, 15}},
    {1052, K::CountName, "DI1", {75, 315, 25, 15}},
    {1047, K::CountValue, "DI2", {225, 315, 75, 15}},
    {1056, K::CountName, "DI2", {195, 315, 23, 15}},
    {1050, K::CountValue, "DI3", {105, 335, 75, 15}},
    {1057, K::CountName, "DI3", {75, 335, 25, 15}},
    {1051, K::CountValue, "DI4", {225, 335, 75, 15}},
    {1058, K::CountName, "DI4", {195, 335, 23, 15}},
    {1053, K::CountValue, "DI5", {105, 355, 75, 15}},
    {1059, K::CountName, "DI5", {75, 355, 25, 15}},
    {1054, K::CountValue, "DI6", {225, 355, 75, 15}},
    {1060, K::CountName, "DI6", {195, 355, 23, 15}},
    {1055, K::CountValue, "DI7", {105, 375, 75, 15}},
    {1061, K::CountName, "DI7", {75, 375, 25, 15}},
    {-1, K::GreyLine, "", {185, 315, 1, 75}},
    {-1, K::GreyLine, "", {65, 315, 1, 75}},
    {1062, K::RightCaption, "Static", {155, 400, 145, 8}},
    {1063, K::CountValue, "DI8", {225, 375, 75, 15}},
    {1064, K::CountName, "DI8", {195, 375, 25, 15}},
    {1065, K::Check, "DI8 有効", {160, 247, 42, 10}},
    {1066, K::Caption, "エッジ", {215, 247, 25, 8}},
    {1067, K::DropList, "", {250, 246, 40, 95}},
    {-1, K::Caption, "ネットワークデバイス選択(&N):", {5, 5, 86, 8}},
    {1131, K::DropList, "", {5, 15, 295, 365}},
    {-1, K::SunkenLine, "", {5, 35, 295, 1}},
};

// Dialog units by the dialog font's own metrics, measured here on their own.
fw::BaseUnits MeasuredUnits() {
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPointSizeF(9);
  const QFontMetrics metrics(font);
  const int extent = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(extent / 26 + 1) / 2, metrics.height()};
}

bool IsKind(QWidget* w, K kind) {
  auto* label = qobject_cast<QLabel*>(w);
  auto* edit = qobject_cast<QLineEdit*>(w);
  const auto align = label ? label->alignment() : Qt::Alignment();
  switch (kind) {
    case K::Caption:
      return label && (align & Qt::AlignLeft) && (align & Qt::AlignTop);
    case K::RightCaption:
      return label && (align & Qt::AlignRight) && (align & Qt::AlignTop);
    case K::CountValue:
      return label && (align & Qt::AlignRight) && (align & Qt::AlignVCenter);
    case K::CountName:
      return label && (align & Qt::AlignLeft) && (align & Qt::AlignVCenter);
    case K::Edit:
    case K::DigitsEdit:
      return edit && (edit->alignment() & Qt::AlignLeft) && !edit->isReadOnly();
    case K::RightEdit:
      return edit && (edit->alignment() & Qt::AlignRight) && !edit->isReadOnly();
    case K::Push: {
      auto* push = qobject_cast<QPushButton*>(w);
      return push && !push->autoDefault() && !push->isDefault();
    }
    case K::Check:
      return qobject_cast<QCheckBox*>(w) != nullptr;
    case K::Group:
      return qobject_cast<QGroupBox*>(w) != nullptr;
    case K::DropList: {
      auto* combo = qobject_cast<QComboBox*>(w);
      return combo && !combo->isEditable();
    }
    case K::GreyLine:
    case K::SunkenLine: {
      auto* frame = qobject_cast<QFrame*>(w);
      return frame && !label && frame->frameShadow() == (kind == K::SunkenLine ? QFrame::Sunken
                                                                               : QFrame::Plain);
    }
  }
  return false;
}

bool IsTabStop(K kind) {
  return kind == K::Edit || kind == K::DigitsEdit || kind == K::RightEdit || kind == K::Push ||
         kind == K::Check || kind == K::DropList;
}

std::vector<std::string> Items(const fw::CComboBox& list) {
  std::vector<std::string> items;
  for (int i = 0; i < list.GetCount(); ++i) items.push_back(list.GetLBText(i));
  return items;
}

net::AdapterSnapshot TwoInterfaces() {
  return FakeSnapshot({{10, "veth0", {"10.77.0.1", "10.77.0.9"}}, {11, "veth1", {"10.77.0.2"}}});
}

class MainWindowTest : public ::testing::Test {
 protected:
  explicit MainWindowTest(std::function<net::AdapterSnapshot()> reader = TwoInterfaces) {
    environment.readAdapters = std::move(reader);
    environment.exitProcess = [this](int code) { exitCodes.push_back(code); };
  }
  CKestrelDlg& Dialog() {
    if (!dialog) {
      dialog = std::make_unique<CKestrelDlg>(state, environment);
      dialog->SetMessageBoxPresenter(&presenter);
    }
    return *dialog;
  }

  DeviceState state;
  KestrelDlgEnvironment environment;
  RecordingPresenter presenter;
  std::vector<int> exitCodes;
  std::unique_ptr<CKestrelDlg> dialog;
};

TEST_F(MainWindowTest, EveryControlHasItsIdKindCaptionAndPlaceInTemplateOrder) {
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    ASSERT_EQ(d.GetControlCount(), std::size(kControls));
    const fw::BaseUnits units = MeasuredUnits();
    EXPECT_EQ(d.GetDialogBaseUnits().averageCharWidth, units.averageCharWidth);
    EXPECT_EQ(d.GetDialogBaseUnits().charHeight, units.charHeight);
    EXPECT_EQ(d.GetPlacement().width, fw::DialogUnitsToPixelsX(309, units));
    EXPECT_EQ(d.GetPlacement().height, fw::DialogUnitsToPixelsY(412, units));
    EXPECT_EQ(d.GetWindowText(), "KestrelW");
    EXPECT_EQ(fw::qt::WidgetOf(d)->font().family().toStdString(), "IPAPGothic");
    const QList<QSize> iconSizes = fw::qt::WidgetOf(d)->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)));

    // What the start-up puts in place of the template's placeholders.
    const std::map<int, std::string> replaced{
        {res::IDC_CONNECT_BUTTON, "接続"}, {res::IDC_UNIT_ID_TEXT, ""}, {res::IDC_MODEL_TEXT, ""},
        {res::IDC_COUNTING_STATE_TEXT, "PULSE COUNT OFF"}, {res::IDC_VERSION_TEXT, "Version 1.04"},
        {res::IDC_COUNT_TEXT1, ""}, {res::IDC_COUNT_TEXT2, ""}, {res::IDC_COUNT_TEXT3, ""},
        {res::IDC_COUNT_TEXT4, ""}, {res::IDC_COUNT_TEXT5, ""}, {res::IDC_COUNT_TEXT6, ""},
        {res::IDC_COUNT_TEXT7, ""}, {res::IDC_COUNT_TEXT8, ""}, {res::IDC_PORT_EDIT, "10003"},
        {res::IDC_INTERVAL_EDIT, "1"}, {res::IDC_ADAPTER_LIST, "10.77.0.1 (veth0)"}};
    for (std::size_t i = 0; i < std::size(kControls); ++i) {
      const Expected& e = kControls[i];
      fw::CWnd& control = d.GetControl(i);
      SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(e.id));
      EXPECT_EQ(control.GetDlgCtrlID(), e.id);
      QWidget* widget = fw::qt::WidgetOf(control);
      EXPECT_TRUE(IsKind(widget, e.kind));
      const auto found = replaced.find(e.id);
      EXPECT_EQ(control.GetWindowText(), found != replaced.end() ? found->second : e.caption);

      const fw::PixelRect px = fw::DialogRectToPixels(e.rect, units);
      const fw::PixelRect at = control.GetPlacement();
      EXPECT_EQ(at.x, px.x);
      EXPECT_EQ(at.y, px.y);
      EXPECT_EQ(at.width, px.width);
      // A closed drop-down list is as high as its font needs; the template
      // gives the height of the opened list.
      if (e.kind == K::DropList) {
        EXPECT_LT(at.height, px.height);
      } else {
        EXPECT_EQ(at.height, px.height);
      }
      EXPECT_EQ(widget->focusPolicy() == Qt::StrongFocus, IsTabStop(e.kind));
    }
  });
}

TEST_F(MainWindowTest, TabVisitsEveryTabStopInTemplateOrder) {
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    std::vector<int> expected;
    for (std::size_t i = 0; i < d.GetControlCount(); ++i) {
      d.GetControl(i).EnableWindow(true);
      d.GetControl(i).ShowWindow(fw::SW_SHOW);
      if (IsTabStop(kControls[i].kind)) expected.push_back(kControls[i].id);
    }
    d.AddressEdit.SetFocus();
    std::vector<int> visited;
    for (std::size_t step = 0; step < expected.size(); ++step) {
      ASSERT_NE(d.GetFocus(), nullptr);
      visited.push_back(d.GetFocus()->GetDlgCtrlID());
      PressKey(d, Key::Tab);
    }
    EXPECT_EQ(visited, expected);
    EXPECT_EQ(d.GetFocus()->GetDlgCtrlID(), res::IDC_ADDRESS_EDIT);  // wrapped around
  });
}

TEST_F(MainWindowTest, ListsHoldTheirFixedItems) {
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    EXPECT_EQ(Items(d.PeriodList),
              (std::vector<std::string>{"START-STOP", "0.1 秒", "1 秒", "10 秒"}));
    std::vector<std::string> chatter{"off"};
    for (int ms = 4; ms <= 20; ++ms) chatter.push_back(" " + std::to_string(ms) + " m秒");
    EXPECT_EQ(Items(d.ChatterList), chatter);
    EXPECT_EQ(Items(d.AlertConditionList),
              (std::vector<std::string>{"無効", "未満", "一致", "超過"}));
    for (int k = 0; k < kMaxInputs; ++k) {
      EXPECT_EQ(Items(*d.InputControls.EdgeList[k]), (std::vector<std::string>{"RISE", "FALL"}));
      EXPECT_EQ(d.InputControls.EdgeList[k]->GetCurSel(), -1);
    }
    EXPECT_EQ(d.AlertInputList.GetCount(), 0);
    EXPECT_EQ(Items(d.AdapterList), (std::vector<std::string>{"10.77.0.1 (veth0)",
                                                              "10.77.0.9 (veth0)",
                                                              "10.77.0.2 (veth1)"}));
  });
}

TEST_F(MainWindowTest, FirstDisplayShowsTheDisconnectedDefaults) {
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    EXPECT_TRUE(d.IsWindowVisible());
    EXPECT_EQ(d.PortEdit.GetWindowText(), "10003");
    EXPECT_EQ(d.IntervalEdit.GetWindowText(), "1");
    EXPECT_EQ(d.AddressEdit.GetWindowText(), "");
    ASSERT_NE(d.GetFocus(), nullptr);
    EXPECT_EQ(d.GetFocus()->GetDlgCtrlID(), res::IDC_ADDRESS_EDIT);
    for (int k = 0; k < kMaxInputs; ++k) {
      EXPECT_EQ(d.InputControls.CountText[k]->GetWindowText(), "");
      EXPECT_FALSE(d.InputControls.CountLabel[k]->IsWindowVisible());
      EXPECT_EQ(d.InputControls.EnableCheck[k]->GetCheck(), fw::BST_UNCHECKED);
      EXPECT_FALSE(d.InputControls.EnableCheck[k]->IsWindowEnabled());
      EXPECT_FALSE(d.InputControls.EdgeList[k]->IsWindowEnabled());
      EXPECT_EQ(fw::qt::WidgetOf(*d.InputControls.CountText[k])->font().family().toStdString(),
                "IPAGothic");
      EXPECT_EQ(fw::qt::WidgetOf(*d.InputControls.CountLabel[k])->font().pointSize(), 18);
    }
    EXPECT_EQ(d.ConnectButton.GetWindowText(), "接続");
    EXPECT_EQ(d.CountingStateText.GetWindowText(), "PULSE COUNT OFF");
    EXPECT_EQ(d.VersionText.GetWindowText(), "Version 1.04");
    EXPECT_EQ(d.AdapterList.GetCurSel(), 0);
    EXPECT_EQ(state.localAddress, Dotted("10.77.0.1"));

    // Only the connection entry is open to the operator.
    for (fw::CWnd* on : std::initializer_list<fw::CWnd*>{&d.AddressEdit, &d.PortEdit,
                                                         &d.ConnectButton, &d.AdapterList}) {
      EXPECT_TRUE(on->IsWindowEnabled()) << on->GetDlgCtrlID();
    }
    for (fw::CWnd* off : std::initializer_list<fw::CWnd*>{
             &d.StartStopButton, &d.ReadCountsButton, &d.PeriodList, &d.ChatterList,
             &d.ReceiveSettingsButton, &d.ApplySettingsButton, &d.AutoUpdateCheck,
             &d.IntervalEdit, &d.AlertInputList, &d.AlertValueEdit, &d.AlertConditionList}) {
      EXPECT_FALSE(off->IsWindowEnabled()) << off->GetDlgCtrlID();
    }
    EXPECT_TRUE(d.AlertTitleCaption.IsWindowVisible());
  });
  EXPECT_EQ(state.countingOn, 0);
  EXPECT_EQ(state.startStopRunning, 0);
  EXPECT_EQ(state.protocolFamily, ProtocolFamily::Unknown);
  EXPECT_EQ(d.connected, 0);
  EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(MainWindowTest, EnterChangesNothingAndLeavesTheWindowOpen) {
  CKestrelDlg& d = Dialog();
  const int result = RunModalScript(d, [&] {
    Type(d.AddressEdit, "10.77.0.2");
    PressKey(d, Key::Enter);
    Type(d.PortEdit, "4");
    PressKey(d, Key::Enter);
    d.ConnectButton.SetFocus();
    PressKey(d, Key::Enter);
    EXPECT_TRUE(d.IsWindowVisible());
    EXPECT_EQ(d.AddressEdit.GetWindowText(), "10.77.0.2");
    EXPECT_EQ(d.PortEdit.GetWindowText(), "100034");
    EXPECT_EQ(d.ConnectButton.GetWindowText(), "接続");
    EXPECT_EQ(d.GetFocus()->GetDlgCtrlID(), res::IDC_CONNECT_BUTTON);
  });
  EXPECT_EQ(result, kLeftOpen);
  EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(MainWindowTest, EscapeAndTheCloseBoxEndTheWindowWithCancel) {
  CKestrelDlg& d = Dialog();
  EXPECT_EQ(RunModalScript(d, [&] { PressKey(d, Key::Escape); }), fw::IDCANCEL);
  EXPECT_EQ(RunModalScript(d, [&] { fw::testing::PressCloseBox(d); }), fw::IDCANCEL);
}

TEST_F(MainWindowTest, DigitsOnlyEditsRefuseTypedLettersOthersTakeAnything) {
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    d.PortEdit.SetWindowText("");
    Type(d.PortEdit, "1a2-3");
    EXPECT_EQ(d.PortEdit.GetWindowText(), "123");
    d.IntervalEdit.EnableWindow(true);
    d.IntervalEdit.SetWindowText("");
    Type(d.IntervalEdit, "-2.5e");
    EXPECT_EQ(d.IntervalEdit.GetWindowText(), "-2.5e");
    d.AlertValueEdit.EnableWindow(true);
    Type(d.AlertValueEdit, "x9");
    EXPECT_EQ(d.AlertValueEdit.GetWindowText(), "9");
    // Text an input method commits is typed text too: only its digits go in.
    for (fw::CEdit* edit : {&d.PortEdit, &d.AlertValueEdit}) {
      edit->SetWindowText("");
      CommitInputMethodText(*edit, "あa-1");
      EXPECT_EQ(edit->GetWindowText(), "1") << edit->GetDlgCtrlID();
    }
    CommitInputMethodText(d.IntervalEdit, "あ-");
    EXPECT_EQ(d.IntervalEdit.GetWindowText(), "-2.5eあ-");
  });
}

// The test program is started with -reverse (see the CMake file): an option
// Qt would obey if it saw the command line.
TEST_F(MainWindowTest, TheWindowTakesNoOptionsFromTheCommandLine) {
  EXPECT_EQ(QApplication::layoutDirection(), Qt::LeftToRight);
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] { EXPECT_FALSE(fw::qt::WidgetOf(d)->isRightToLeft()); });
}

TEST_F(MainWindowTest, PickingAnotherInterfaceChangesTheLocalAddressAtOnce) {
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    Pick(d.AdapterList, 2);
    EXPECT_EQ(d.AdapterList.GetCurSel(), 2);
    EXPECT_EQ(state.localAddress, Dotted("10.77.0.2"));
    Pick(d.AdapterList, 1);
    EXPECT_EQ(state.localAddress, Dotted("10.77.0.9"));
  });
}

// A connected three-input model: its rows follow the settings, the rest keep
// the disconnected state, and the mail-alert group disappears.
TEST_F(MainWindowTest, ConnectedRefreshShowsTheModelsInputsOnly) {
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    state.modelIndex = 0;  // three inputs
    state.unitId = 7;
    state.countPeriod = 2;
    state.chatterCode = 20;
    state.inputs[0] = {1, 1, 0};
    state.inputs[2] = {0, 1, 0};
    d.connected = 1;
    d.RefreshControls();

    EXPECT_EQ(d.ConnectButton.GetWindowText(), "切断");
    EXPECT_EQ(d.UnitIdText.GetWindowText(), "7");
    EXPECT_EQ(d.ModelText.GetWindowText(), "SX-00");
    EXPECT_EQ(d.PeriodList.GetCurSel(), 2);
    EXPECT_EQ(d.ChatterList.GetCurSel(), 17);
    EXPECT_EQ(Items(d.AlertInputList), (std::vector<std::string>{"DI1", "DI2", "DI3"}));
    EXPECT_EQ(d.AlertInputList.GetCurSel(), -1);
    for (int k = 0; k < kMaxInputs; ++k) {
      const bool used = k < 3;
      EXPECT_EQ(d.InputControls.EnableCheck[k]->IsWindowEnabled(), used) << k;
      EXPECT_EQ(d.InputControls.EdgeList[k]->IsWindowEnabled(), used) << k;
      EXPECT_EQ(d.InputControls.CountLabel[k]->IsWindowVisible(), used) << k;
    }
    EXPECT_EQ(d.InputControls.EnableCheck[0]->GetCheck(), fw::BST_CHECKED);
    EXPECT_EQ(d.InputControls.EnableCheck[2]->GetCheck(), fw::BST_UNCHECKED);
    EXPECT_EQ(d.InputControls.EdgeList[0]->GetCurSel(), 1);
    EXPECT_FALSE(d.AlertTitleCaption.IsWindowVisible());
    EXPECT_FALSE(d.AlertValueEdit.IsWindowVisible());
    EXPECT_FALSE(d.AdapterList.IsWindowEnabled());
    EXPECT_FALSE(d.AddressEdit.IsWindowEnabled());
    EXPECT_TRUE(d.StartStopButton.IsWindowEnabled());
    EXPECT_TRUE(d.ApplySettingsButton.IsWindowEnabled());
    EXPECT_FALSE(d.AutoUpdateCheck.IsWindowEnabled());

    // Counting in START-STOP needs the gate running too.
    state.countingOn = 1;
    state.countPeriod = 0;
    d.UpdateCountingControls();
    EXPECT_EQ(d.CountingStateText.GetWindowText(), "PULSE COUNT OFF");
    EXPECT_TRUE(d.PeriodList.IsWindowEnabled());
    state.startStopRunning = 1;
    d.UpdateCountingControls();
    EXPECT_EQ(d.CountingStateText.GetWindowText(), "PULSE COUNT ON");
    EXPECT_FALSE(d.PeriodList.IsWindowEnabled());
    EXPECT_FALSE(d.InputControls.EnableCheck[0]->IsWindowEnabled());
    EXPECT_TRUE(d.AutoUpdateCheck.IsWindowEnabled());
    EXPECT_TRUE(d.IntervalEdit.IsWindowEnabled());

    // Back to disconnected: the edge lists keep the last device's edges.
    d.connected = 0;
    state.countingOn = state.startStopRunning = 0;
    d.RefreshControls();
    EXPECT_EQ(d.InputControls.EdgeList[0]->GetCurSel(), 1);
    EXPECT_EQ(d.PeriodList.GetCurSel(), -1);
    EXPECT_EQ(d.InputControls.EnableCheck[0]->GetCheck(), fw::BST_UNCHECKED);
    EXPECT_TRUE(d.AdapterList.IsWindowEnabled());
  });
}

TEST_F(MainWindowTest, StopAutoUpdateUnticksTheBox) {
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] {
    d.AutoUpdateCheck.SetCheck(fw::BST_CHECKED);
    d.SetTimer(kAutoUpdateTimer, 1000);
    d.StopAutoUpdate();
    EXPECT_EQ(d.AutoUpdateCheck.GetCheck(), fw::BST_UNCHECKED);
    EXPECT_FALSE(d.KillTimer(kAutoUpdateTimer));  // already gone
  });
}

TEST_F(MainWindowTest, OperatorMessagesAreBoxesCaptionedWithTheProgramsName) {
  CKestrelDlg& d = Dialog();
  RunModalScript(d, [&] { d.ShowMessage("受信データ異常\r\n"); });
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].text, "受信データ異常\r\n");
  EXPECT_EQ(presenter.boxes[0].caption, fw::ApplicationTitle());
  EXPECT_EQ(presenter.boxes[0].caption, "ui_tests");
  EXPECT_NE(presenter.boxes[0].ownerWindow, nullptr);
}

class NoInterfaceTest : public MainWindowTest {
 protected:
  NoInterfaceTest() : MainWindowTest([] { return FakeSnapshot({}); }) {}
};

TEST_F(NoInterfaceTest, OnlyTheMessageIsShownAndTheWindowEndsWithMinusOne) {
  CKestrelDlg& d = Dialog();
  fw::testing::WindowShowCounter shown;
  bool visibleDuringMessage = true;
  presenter.onPresent = [&] { visibleDuringMessage = d.IsWindowVisible(); };
  EXPECT_EQ(d.DoModal(), -1);
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].text, "ネットワークデバイスが見つかりませんでした。");
  EXPECT_FALSE(visibleDuringMessage);
  EXPECT_EQ(shown.count(), 0);
  EXPECT_TRUE(exitCodes.empty());
}

class UnreadableAdapterListTest : public MainWindowTest {
 protected:
  UnreadableAdapterListTest()
      : MainWindowTest([] {
          net::AdapterSnapshot snapshot = FakeSnapshot({{10, "veth0", {"10.77.0.1"}}});
          snapshot.adapters.reset();
          return snapshot;
        }) {}
};

TEST_F(UnreadableAdapterListTest, TheProcessEndsWithExitCodeOneAndNoMessage) {
  CKestrelDlg& d = Dialog();
  fw::testing::WindowShowCounter shown;
  EXPECT_EQ(d.DoModal(), -1);
  EXPECT_EQ(exitCodes, std::vector<int>{1});
  EXPECT_TRUE(presenter.boxes.empty());
  EXPECT_EQ(shown.count(), 0);
}

}  // namespace
}  // namespace kestrel::ui
