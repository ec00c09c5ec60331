// The dialog-framework layer on its own: dialog units, timers, notifications
// and the dialog's own key handling, with a small test dialog.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>

#include "framework/AppTitle.h"
#include "framework/Dialog.h"
#include "framework/DialogUnits.h"
#include "framework/FontFaces.h"
#include "framework/TimerPeriod.h"
#include "framework/WindowStyles.h"
#include "framework/testing/OperatorInput.h"

namespace fw {
namespace {

using testing::Click;
using testing::Key;
using testing::IsListOpen;
using testing::OpenList;
using testing::Pick;
using testing::PressKey;
using testing::PumpMessages;
using testing::RunModalScript;
using testing::Type;
using namespace std::chrono_literals;

TEST(DialogUnits, ConvertByTheFontsAverageWidthAndHeightRoundingHalvesAway) {
  const BaseUnits units{7, 13};  // the dialog font here: 9 pt IPAPGothic
  struct Case {
    DialogRect dlu;
    PixelRect px;
  } cases[] = {
      {{0, 0, 309, 412}, {0, 0, 541, 670}},  // 540.75 and 669.5 round up
      {{5, 53, 40, 8}, {9, 86, 70, 13}},     // 8.75 -> 9, 86.125 -> 86
      {{185, 315, 1, 75}, {324, 512, 2, 122}},
      {{2, 4, 1, 1}, {4, 7, 2, 2}},  // 3.5 -> 4, 6.5 -> 7, 1.75 -> 2, 1.625 -> 2
  };
  for (const Case& c : cases) EXPECT_EQ(DialogRectToPixels(c.dlu, units), c.px);
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  // 52 letters 369 px wide: 14 per 26 letters, average 7.
  EXPECT_EQ(AverageCharWidthFromExtent(369), 7);
  EXPECT_EQ(AverageCharWidthFromExtent(312), 6);
}

TEST(TimerPeriod, IsPulledIntoTheSupportedRange) {
  const std::array<std::pair<std::uint32_t, std::uint32_t>, 6> cases{{
      {0, 10}, {9, 10}, {10, 10}, {1000, 1000}, {0x7FFFFFFFu, 0x7FFFFFFFu},
      {0xFFFFFC18u, 0x7FFFFFFFu},  // a wrapped negative interval
  }};
  for (const auto& [requested, runs] : cases) EXPECT_EQ(ClampTimerPeriod(requested), runs);
}

TEST(AppTitle, IsTheExecutablesNameWithoutFolderOrExtension) {
  EXPECT_EQ(TitleFromExecutablePath("/opt/kestrel/bin/KestrelW"), "KestrelW");
  EXPECT_EQ(TitleFromExecutablePath("C:\\Tools\\KestrelW.exe"), "KestrelW");
  EXPECT_EQ(TitleFromExecutablePath("KestrelW.1.exe"), "KestrelW.1");
  EXPECT_EQ(TitleFromExecutablePath("/home/op/.hidden"), ".hidden");
}

TEST(FontFaces, JapaneseGothicFacesAreSubstitutedExplicitly) {
  EXPECT_EQ(SubstituteFontFace("ＭＳ Ｐゴシック"), "IPAPGothic");
  EXPECT_EQ(SubstituteFontFace("ＭＳ ゴシック"), "IPAGothic");
  EXPECT_EQ(SubstituteFontFace("DejaVu Sans"), "DejaVu Sans");
}

// A button, a check box, a list, an edit.
constexpr std::array<const char*, 3> kItems{"a", "b", "c"};
constexpr std::uint32_t kChild = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
constexpr std::array<ControlTemplate, 4> kControls{{
    {1, ControlClass::Button, "Push", {5, 5, 50, 14}, kChild | BS_PUSHBUTTON, 0},
    {2, ControlClass::Button, "Check", {5, 25, 50, 10}, kChild | BS_AUTOCHECKBOX, 0},
    {3, ControlClass::ComboBox, "", {5, 40, 50, 60}, kChild | CBS_DROPDOWNLIST | WS_VSCROLL, 0},
    {4, ControlClass::Edit, "", {5, 60, 50, 14}, kChild | WS_BORDER | ES_AUTOHSCROLL, 0},
}};
constexpr std::array<ListInit, 1> kLists{{{3, kItems}}};
constexpr DialogTemplate kTemplate{500, "Test", 100, 100, "ＭＳ Ｐゴシック", 9,
                                   WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, kControls, kLists};

class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(kTemplate) {}
  CButton push, check;
  CComboBox list;
  CEdit edit;
  std::vector<std::string> log;
  int ticks = 0;
  std::function<void()> onTick;

 protected:
  void DoDataExchange(DataExchange& dx) override {
    DDX_Control(dx, 1, push);
    DDX_Control(dx, 2, check);
    DDX_Control(dx, 3, list);
    DDX_Control(dx, 4, edit);
  }
  const MessageMap* GetMessageMap() const override {
    static const std::array<MessageEntry, 5> entries{{
        OnClicked(1, &TestDialog::OnPush),
        OnClicked(2, &TestDialog::OnCheck),
        OnSelChange(3, &TestDialog::OnList),
        OnEditChange(4, &TestDialog::OnEdit),
        OnTimerMessage(&TestDialog::OnTimer),
    }};
    static const MessageMap map{CDialog::GetMessageMap(), entries};
    return &map;
  }

 private:
  void OnPush() { log.push_back("push"); }
  void OnCheck() { log.push_back("check " + std::to_string(check.GetCheck())); }
  void OnList() { log.push_back("list " + std::to_string(list.GetCurSel())); }
  void OnEdit() { log.push_back("edit " + edit.GetWindowText()); }
  void OnTimer(std::uintptr_t) {
    ++ticks;
    if (onTick) onTick();
  }
};

using Log = std::vector<std::string>;

TEST(Notifications, ComeFromTheOperatorButEditTextChangesAlwaysReport) {
  TestDialog d;
  RunModalScript(d, [&] {
    EXPECT_EQ(d.list.GetCount(), 3);
    EXPECT_EQ(d.list.GetCurSel(), CB_ERR);  // items added, none selected
    d.check.SetCheck(BST_CHECKED);
    d.list.SetCurSel(2);
    EXPECT_EQ(d.list.SetCurSel(7), CB_ERR);  // out of range clears the selection
    EXPECT_TRUE(d.log.empty());

    Click(d.push);
    Click(d.check);  // was checked by code: the click unticks it before the handler
    Pick(d.list, 1);
    EXPECT_EQ(d.log, (Log{"push", "check 0", "list 1"}));

    d.log.clear();
    d.edit.SetWindowText("x");
    d.edit.SetWindowText("x");
    Type(d.edit, "y");
    EXPECT_EQ(d.log, (Log{"edit x", "edit x", "edit xy"}));

    d.log.clear();
    d.push.EnableWindow(false);
    d.list.EnableWindow(false);
    Click(d.push);
    Pick(d.list, 0);
    EXPECT_TRUE(d.log.empty());
    EXPECT_EQ(d.list.GetCurSel(), 1);
  });
}

TEST(Keys, TheDialogsOwnHandlingAcceptsOnEnterAndCancelsOnEscape) {
  TestDialog d;
  EXPECT_EQ(RunModalScript(d, [&] { PressKey(d, Key::Enter); }), IDOK);
  EXPECT_EQ(RunModalScript(d, [&] { PressKey(d, Key::Escape); }), IDCANCEL);
  EXPECT_TRUE(d.log.empty());  // Enter on the focused button did not press it
}

// The open list takes Escape for itself and closes; only the next Escape
// reaches the dialog.
TEST(Keys, EscapeWithAListOpenClosesTheListOnly) {
  TestDialog d;
  const int result = RunModalScript(d, [&] {
    OpenList(d.list);
    ASSERT_TRUE(IsListOpen(d.list));
    PressKey(d, Key::Escape);
    EXPECT_FALSE(IsListOpen(d.list));
    EXPECT_TRUE(d.IsWindowVisible());
    PressKey(d, Key::Escape);
  });
  EXPECT_EQ(result, IDCANCEL);
}

TEST(Timers, AZeroPeriodRunsAt10MsAndKillStopsTheTicks) {
  TestDialog d;
  EXPECT_EQ(d.SetTimer(7, 0), 0u);  // no window yet
  RunModalScript(d, [&] {
    EXPECT_EQ(d.SetTimer(7, 0), 7u);
    PumpMessages(200ms);
    EXPECT_GE(d.ticks, 3);
    EXPECT_LE(d.ticks, 21);
    EXPECT_TRUE(d.KillTimer(7));
    const int ticks = d.ticks;
    PumpMessages(60ms);
    EXPECT_EQ(d.ticks, ticks);
    EXPECT_FALSE(d.KillTimer(7));
  });
}

TEST(Timers, TicksDueWhileTheThreadIsBusyArriveOnce) {
  TestDialog d;
  d.onTick = [&] {
    if (d.ticks == 1) std::this_thread::sleep_for(150ms);  // 15 periods
  };
  RunModalScript(d, [&] {
    d.SetTimer(1, 10);
    PumpMessages(25ms);
    d.KillTimer(1);
  });
  EXPECT_GE(d.ticks, 1);
  EXPECT_LE(d.ticks, 5);
}

}  // namespace
}  // namespace fw
