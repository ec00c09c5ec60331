// The main window's template: every control with its identifier, kind,
// caption, rectangle (dialog units) and styles, in creation and tab order,
// and the items its lists start with.
#include "res/MainDialog.h"

#include <array>

#include "common/OperatorTexts.h"
#include "framework/WindowStyles.h"
#include "res/Resource.h"

namespace kestrel::res {

namespace {

using fw::ControlClass;
using fw::ControlTemplate;
using namespace fw;  // style constants

constexpr std::uint32_t kChild = WS_CHILD | WS_VISIBLE;

constexpr ControlTemplate Caption(int id, const char* text, int x, int y, int cx, int cy,
                                  std::uint32_t style = SS_LEFT) {
  return {id, ControlClass::Static, text, {x, y, cx, cy}, kChild | style, 0};
}
// Right-aligned, vertically centred: the counters and their labels.
constexpr ControlTemplate CountCaption(int id, const char* text, int x, int y, int cx, int cy,
                                       std::uint32_t align) {
  return Caption(id, text, x, y, cx, cy, align | SS_CENTERIMAGE);
}
constexpr ControlTemplate FrameLine(int x, int y, int cx, int cy, std::uint32_t extra = 0) {
  return {IDC_STATIC, ControlClass::Static, "", {x, y, cx, cy}, kChild | SS_GRAYFRAME | extra, 0};
}
constexpr ControlTemplate Edit(int id, int x, int y, int cx, int cy, std::uint32_t extra = 0) {
  return {id, ControlClass::Edit, "", {x, y, cx, cy},
          kChild | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL | extra, WS_EX_CLIENTEDGE};
}
constexpr ControlTemplate Button(int id, const char* text, int x, int y, int cx, int cy) {
  return {id, ControlClass::Button, text, {x, y, cx, cy}, kChild | WS_TABSTOP | BS_PUSHBUTTON, 0};
}
constexpr ControlTemplate Check(int id, const char* text, int x, int y, int cx, int cy) {
  return {id, ControlClass::Button, text, {x, y, cx, cy}, kChild | WS_TABSTOP | BS_AUTOCHECKBOX,
          0};
}
constexpr ControlTemplate DropList(int id, int x, int y, int cx, int cy) {
  return {id, ControlClass::ComboBox, "", {x, y, cx, cy},
          kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
}
constexpr ControlTemplate Group(const char* text, int x, int y, int cx, int cy) {
  return {IDC_STATIC, ControlClass::Button, text, {x, y, cx, cy}, kChild | BS_GROUPBOX, 0};
}

constexpr std::array<ControlTemplate, kMainDialogControlCount> kControls{{
    Caption(IDC_STATIC, "IP アドレス:", 5, 53, 40, 8),
    Edit(IDC_ADDRESS_EDIT, 55, 50, 60, 14),
    Caption(IDC_STATIC, "ポート番号:", 135, 53, 40, 8),
    Edit(IDC_PORT_EDIT, 195, 50, 35, 14, ES_NUMBER),
    Button(IDC_CONNECT_BUTTON, "***", 250, 50, 50, 14),
    Caption(IDC_STATIC, "UNIT ID", 15, 75, 35, 8),
    Caption(IDC_UNIT_ID_TEXT, "***", 60, 75, 30, 8),
    Caption(IDC_STATIC, "Model ID", 105, 75, 35, 8),
    Caption(IDC_MODEL_TEXT, "***", 150, 75, 150, 8),
    Group("パルスカウント設定", 5, 95, 295, 170),
    Button(IDC_RECEIVE_SETTINGS_BUTTON, "設定受信", 185, 110, 50, 14),
    Button(IDC_APPLY_SETTINGS_BUTTON, "設定反映", 240, 110, 50, 14),
    Caption(IDC_STATIC, "計数期間", 15, 142, 65, 8),
    DropList(IDC_PERIOD_LIST, 85, 140, 60, 215),
    Caption(IDC_STATIC, "チャタリング除去", 15, 162, 65, 8),
    DropList(IDC_CHATTER_LIST, 85, 160, 60, 175),
    Caption(IDC_ALERT_TITLE_CAPTION, "パルスカウントメールアラート設定", 15, 180, 99, 8),
    Caption(IDC_ALERT_INPUT_CAPTION, "判定入力信号", 25, 195, 55, 8),
    DropList(IDC_ALERT_INPUT_LIST, 85, 192, 60, 85),
    Caption(IDC_ALERT_VALUE_CAPTION, "判定値", 25, 213, 55, 8),
    Edit(IDC_ALERT_VALUE_EDIT, 85, 210, 60, 14, ES_NUMBER),
    Caption(IDC_ALERT_CONDITION_CAPTION, "判定条件", 25, 232, 55, 8),
    DropList(IDC_ALERT_CONDITION_LIST, 85, 230, 60, 85),
    Check(IDC_ENABLE_CHECK1, "DI1 有効", 160, 142, 42, 10),
    Caption(IDC_EDGE_CAPTION1, "エッジ", 215, 142, 25, 8),
    DropList(IDC_EDGE_LIST1, 250, 140, 40, 95),
    Check(IDC_ENABLE_CHECK2, "DI2 有効", 160, 157, 42, 10),
    Caption(IDC_EDGE_CAPTION2, "エッジ", 215, 157, 25, 8),
    DropList(IDC_EDGE_LIST2, 250, 156, 40, 95),
    Check(IDC_ENABLE_CHECK3, "DI3 有効", 160, 172, 42, 10),
    Caption(IDC_EDGE_CAPTION3, "エッジ", 215, 172, 25, 8),
    DropList(IDC_EDGE_LIST3, 250, 170, 40, 95),
    Check(IDC_ENABLE_CHECK4, "DI4 有効", 160, 187, 42, 10),
    Caption(IDC_EDGE_CAPTION4, "エッジ", 215, 187, 25, 8),
    DropList(IDC_EDGE_LIST4, 250, 186, 40, 95),
    Check(IDC_ENABLE_CHECK5, "DI5 有効", 160, 202, 42, 10),
    Caption(IDC_EDGE_CAPTION5, "エッジ", 215, 202, 25, 8),
    DropList(IDC_EDGE_LIST5, 250, 200, 40, 95),
    Check(IDC_ENABLE_CHECK6, "DI6 有効", 160, 217, 42, 10),
    Caption(IDC_EDGE_CAPTION6, "エッジ", 215, 217, 25, 8),
    DropList(IDC_EDGE_LIST6, 250, 216, 40, 95),
    Check(IDC_ENABLE_CHECK7, "DI7 有効", 160, 232, 42, 10),
    Caption(IDC_EDGE_CAPTION7, "エッジ", 215, 232, 25, 8),
    DropList(IDC_EDGE_LIST7, 250, 230, 40, 95),
    Caption(IDC_COUNTING_STATE_TEXT, "***", 45, 280, 100, 8),
    Button(IDC_START_STOP_BUTTON, "Start/Stop", 195, 270, 90, 30),
    FrameLine(5, 305, 295, 1),
    Button(IDC_READ_COUNTS_BUTTON, "カウント値受信", 5, 315, 55, 14),
    Check(IDC_AUTO_UPDATE_CHECK, "自動更新", 5, 345, 43, 10),
    Caption(IDC_STATIC, "更新間隔", 5, 365, 29, 8),
    Edit(IDC_INTERVAL_EDIT, 5, 375, 30, 14, ES_RIGHT),
    Caption(IDC_STATIC, "秒", 40, 378, 8, 8),
    CountCaption(IDC_COUNT_TEXT1, "DI1", 105, 315, 75, 15, SS_RIGHT),
    CountCaption(IDC_COUNT_LABEL1, "DI1", 75, 315, 25, 15, SS_LEFT),
    CountCaption(IDC_COUNT_TEXT2, "DI2", 225, 315, 75, 15, SS_RIGHT),
    CountCaption(IDC_COUNT_LABEL2, "DI2", 195, 315, 23, 15, SS_LEFT),
    CountCaption(IDC_COUNT_TEXT3, "DI3", 105, 335, 75, 15, SS_RIGHT),
    CountCaption(IDC_COUNT_LABEL3, "DI3", 75, 335, 25, 15, SS_LEFT),
    CountCaption(IDC_COUNT_TEXT4, "DI4", 225, 335, 75, 15, SS_RIGHT),
    CountCaption(IDC_COUNT_LABEL4, "DI4", 195, 335, 23, 15, SS_LEFT),
    CountCaption(IDC_COUNT_TEXT5, "DI5", 105, 355, 75, 15, SS_RIGHT),
    CountCaption(IDC_COUNT_LABEL5, "DI5", 75, 355, 25, 15, SS_LEFT),
    CountCaption(IDC_COUNT_TEXT6, "DI6", 225, 355, 75, 15, SS_RIGHT),
    CountCaption(IDC_COUNT_LABEL6, "DI6", 195, 355, 23, 15, SS_LEFT),
    CountCaption(IDC_COUNT_TEXT7, "DI7", 105, 375, 75, 15, SS_RIGHT),
    CountCaption(IDC_COUNT_LABEL7, "DI7", 75, 375, 25, 15, SS_LEFT),
    FrameLine(185, 315, 1, 75),
    FrameLine(65, 315, 1, 75),
    Caption(IDC_VERSION_TEXT, "Static", 155, 400, 145, 8, SS_RIGHT),
    CountCaption(IDC_COUNT_TEXT8, "DI8", 225, 375, 75, 15, SS_RIGHT),
    CountCaption(IDC_COUNT_LABEL8, "DI8", 195, 375, 25, 15, SS_LEFT),
    Check(IDC_ENABLE_CHECK8, "DI8 有効", 160, 247, 42, 10),
    Caption(IDC_EDGE_CAPTION8, "エッジ", 215, 247, 25, 8),
    DropList(IDC_EDGE_LIST8, 250, 246, 40, 95),
    Caption(IDC_STATIC, "ネットワークデバイス選択(&N):", 5, 5, 86, 8),
    DropList(IDC_ADAPTER_LIST, 5, 15, 295, 365),
    FrameLine(5, 35, 295, 1, SS_SUNKEN),
}};

// The leading blank is part of each millisecond item.
constexpr std::array<const char*, 18> kChatterItems{
    "off",     " 4 m秒",  " 5 m秒",  " 6 m秒",  " 7 m秒",  " 8 m秒",
    " 9 m秒",  " 10 m秒", " 11 m秒", " 12 m秒", " 13 m秒", " 14 m秒",
    " 15 m秒", " 16 m秒", " 17 m秒", " 18 m秒", " 19 m秒", " 20 m秒"};
constexpr std::array<const char*, 4> kAlertConditionItems{"無効", "未満", "一致", "超過"};

constexpr std::array<fw::ListInit, 11> kLists{{
    {IDC_PERIOD_LIST, kCountPeriodNames},
    {IDC_CHATTER_LIST, kChatterItems},
    {IDC_ALERT_CONDITION_LIST, kAlertConditionItems},
    {IDC_EDGE_LIST1, kEdgeNames},
    {IDC_EDGE_LIST2, kEdgeNames},
    {IDC_EDGE_LIST3, kEdgeNames},
    {IDC_EDGE_LIST4, kEdgeNames},
    {IDC_EDGE_LIST5, kEdgeNames},
    {IDC_EDGE_LIST6, kEdgeNames},
    {IDC_EDGE_LIST7, kEdgeNames},
    {IDC_EDGE_LIST8, kEdgeNames},
}};

// Pop-up with title bar, system menu and minimize box, not resizable, with
// its own task-bar entry.
constexpr fw::DialogTemplate kMainDialog{
    IDD_KESTREL_DIALOG,
    "KestrelW",
    309,
    412,
    "ＭＳ Ｐゴシック",
    9,
    DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
    WS_EX_APPWINDOW,
    kControls,
    kLists,
};

}  // namespace

const fw::DialogTemplate& MainDialogTemplate() { return kMainDialog; }

}  // namespace kestrel::res
