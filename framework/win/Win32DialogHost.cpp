// The dialog window on the native window system: the dialog manager creates
// it and its controls from an in-memory extended template; a modal loop of
// our own lets queued keystrokes pass the dialog's pre-filter before the
// dialog manager's key handling.
#include "framework/Dialog.h"
#include "framework/backend/Backend.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <map>
#include <memory>
#include <vector>

#include "framework/win/MessageRouting.h"
#include "framework/win/NativeIcon.h"
#include "framework/win/TemplateBytes.h"
#include "framework/win/Utf16.h"
#include "framework/win/Win32Font.h"

namespace fw::win {

namespace {

PixelRect ClientPlacement(HWND window, HWND dialog) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// One native control, or the dialog window itself (kind Static, no parent).
class HwndPeer : public backend::ControlPeer {
 public:
  HwndPeer(HWND window, HWND dialog, ControlClass kind)
      : window_(window), dialog_(dialog), kind_(kind) {}

  void SetText(const std::string& text) override {
    SetWindowTextW(window_, ToUtf16(text).c_str());
  }
  std::string Text() const override {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window_)) + 1, L'\0');
    const int length = GetWindowTextW(window_, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return ToUtf8(text);
  }
  void SetEnabled(bool enabled) override { EnableWindow(window_, enabled ? TRUE : FALSE); }
  bool IsEnabled() const override { return IsWindowEnabled(window_) != FALSE; }
  void SetShown(bool shown) override { ShowWindow(window_, shown ? SW_SHOW : SW_HIDE); }
  bool IsShown() const override {
    return (GetWindowLongW(window_, GWL_STYLE) & WS_VISIBLE) != 0;
  }
  bool IsVisible() const override { return IsWindowVisible(window_) != FALSE; }
  void SetFont(const backend::FontPeer& font, bool redraw) override {
    const auto& native = static_cast<const Win32FontPeer&>(font);
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(native.handle()), redraw ? TRUE : FALSE);
  }
  void SetFocus() override { ::SetFocus(window_); }
  bool HasFocus() const override { return GetFocus() == window_; }
  PixelRect Placement() const override {
    if (dialog_ == nullptr) {
      RECT r{};
      GetClientRect(window_, &r);
      return {0, 0, r.right, r.bottom};
    }
    return ClientPlacement(window_, dialog_);
  }
  void* NativeHandle() const override { return window_; }

  void SetCheck(int state) override {
    if (kind_ == ControlClass::Button) SendMessageW(window_, BM_SETCHECK, static_cast<WPARAM>(state), 0);
  }
  int Check() const override {
    return kind_ == ControlClass::Button ? static_cast<int>(SendMessageW(window_, BM_GETCHECK, 0, 0)) : 0;
  }

  int AddItem(const std::string& text) override {
    if (!IsList()) return -1;
    const std::wstring item = ToUtf16(text);
    return static_cast<int>(SendMessageW(window_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str())));
  }
  void ResetItems() override {
    if (IsList()) SendMessageW(window_, CB_RESETCONTENT, 0, 0);
  }
  int SetSelection(int index) override {
    if (!IsList()) return -1;
    return static_cast<int>(SendMessageW(window_, CB_SETCURSEL, static_cast<WPARAM>(index), 0));
  }
  int Selection() const override {
    return IsList() ? static_cast<int>(SendMessageW(window_, CB_GETCURSEL, 0, 0)) : -1;
  }
  int ItemCount() const override {
    return IsList() ? static_cast<int>(SendMessageW(window_, CB_GETCOUNT, 0, 0)) : 0;
  }
  std::string ItemText(int index) const override {
    if (!IsList()) return {};
    const LRESULT length = SendMessageW(window_, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(window_, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return ToUtf8(text);
  }

 private:
  bool IsList() const { return kind_ == ControlClass::ComboBox; }

  HWND window_;
  HWND dialog_;
  ControlClass kind_;
};

class Win32Timers : public backend::WindowTimers {
 public:
  explicit Win32Timers(HWND& window) : window_(window) {}
  // The window system coalesces ticks that fall due while the thread is busy.
  bool Set(std::uintptr_t id, std::uint32_t periodMs) override {
    return SetTimer(window_, id, periodMs, nullptr) != 0;
  }
  bool Kill(std::uintptr_t id) override { return KillTimer(window_, id) != FALSE; }

 private:
  HWND& window_;
};

class Win32DialogHost : public backend::DialogHost {
 public:
  Win32DialogHost(const DialogTemplate& t, backend::DialogEvents& events)
      : template_(t), events_(events), timers_(window_) {
    const std::vector<std::uint32_t> bytes = BuildTemplateBytes(t);
    CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                               reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), nullptr,
                               &Win32DialogHost::DialogProc, reinterpret_cast<LPARAM>(this));
    windowPeer_ = std::make_unique<HwndPeer>(window_, nullptr, ControlClass::Static);

    // The dialog manager creates the controls in template order, each below
    // the one before: walking the children from the top gives template order.
    HWND child = window_ ? GetWindow(window_, GW_CHILD) : nullptr;
    for (const ControlTemplate& c : t.controls) {
      controls_.push_back(std::make_unique<HwndPeer>(child, window_, c.kind));
      if (child != nullptr) {
        templateIndex_[child] = controls_.size() - 1;
        child = GetWindow(child, GW_HWNDNEXT);
      }
    }
  }

  ~Win32DialogHost() override {
    if (window_ != nullptr) {
      SetWindowLongPtrW(window_, DWLP_USER, 0);
      DestroyWindow(window_);
    }
  }

  backend::ControlPeer& Window() override { return *windowPeer_; }
  std::size_t ControlCount() const override { return controls_.size(); }
  backend::ControlPeer& Control(std::size_t i) override { return *controls_.at(i); }
  BaseUnits DialogBaseUnits() const override {
    RECT r{0, 0, 4, 8};  // the units' own definition: 4 across, 8 down
    MapDialogRect(window_, &r);
    return {r.right, r.bottom};
  }
  backend::WindowTimers& Timers() override { return timers_; }
  bool IsMinimized() const override { return IsIconic(window_) != FALSE; }
  void* NativeWindow() override { return window_; }

  void SetIcon(HICON icon, bool big) override {
    if (icon == nullptr) return;
    const int size = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
    SendMessageW(window_, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                 reinterpret_cast<LPARAM>(icons_.Get(*icon, size)));
  }

  void RunModal() override {
    if (ended_ || window_ == nullptr) return;
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    MSG msg;
    while (!ended_) {
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) {
        PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop outside
        break;
      }
      if (got < 0) break;
      RouteMessage(msg);
    }
  }
  void EndModal() override {
    ended_ = true;
    if (window_ == nullptr) return;
    // Ending hides the window at once, as the system's own dialogs do, even
    // while the handler that ended it still runs.
    ShowWindow(window_, SW_HIDE);
    PostMessageW(window_, WM_NULL, 0, 0);  // wakes the loop
  }

  PixelRect ClientRect() const override { return windowPeer_->Placement(); }
  int SystemIconSize() const override { return GetSystemMetrics(SM_CXICON); }
  void DrawIcon(HICON icon, int x, int y) override {
    if (icon == nullptr) return;
    ::HICON native = icons_.Get(*icon, SystemIconSize());
    if (paintDc_ != nullptr) {
      ::DrawIcon(paintDc_, x, y, native);
      return;
    }
    HDC dc = GetDC(window_);
    ::DrawIcon(dc, x, y, native);
    ReleaseDC(window_, dc);
  }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      auto* host = reinterpret_cast<Win32DialogHost*>(lParam);
      host->window_ = window;
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      return FALSE;  // the framework places the focus itself
    }
    auto* host = reinterpret_cast<Win32DialogHost*>(GetWindowLongPtrW(window, DWLP_USER));
    return host != nullptr ? host->Handle(message, wParam, lParam) : FALSE;
  }

  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_COMMAND:
        return Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      case WM_CLOSE:
        events_.OnCloseRequested();
        return TRUE;
      case WM_TIMER:
        events_.OnTimerTick(static_cast<std::uintptr_t>(wParam));
        return TRUE;
      case WM_PAINT:
        return IsIconic(window_) ? PaintMinimized() : FALSE;
      case WM_QUERYDRAGICON: {
        const HICON icon = events_.OnQueryDragIcon();
        if (icon == nullptr) return FALSE;
        return reinterpret_cast<INT_PTR>(icons_.Get(*icon, SystemIconSize()));
      }
      default:
        return FALSE;
    }
  }

  INT_PTR Command(WORD id, WORD code, HWND control) {
    const auto found = templateIndex_.find(control);
    if (control == nullptr || found == templateIndex_.end()) return FALSE;
    const ControlClass kind = template_.controls[found->second].kind;
    const int controlId = template_.controls[found->second].id;
    (void)id;  // the low word cannot carry the no-identifier value -1
    if (kind == ControlClass::Button && code == BN_CLICKED) {
      events_.OnControlNotification(controlId, backend::Notification::Clicked);
    } else if (kind == ControlClass::ComboBox && code == CBN_SELCHANGE) {
      events_.OnControlNotification(controlId, backend::Notification::SelectionChanged);
    } else if (kind == ControlClass::Edit && code == EN_CHANGE) {
      events_.OnControlNotification(controlId, backend::Notification::TextChanged);
    } else {
      return FALSE;
    }
    return TRUE;
  }

  INT_PTR PaintMinimized() {
    PAINTSTRUCT paint;
    paintDc_ = BeginPaint(window_, &paint);
    SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paintDc_), 0);
    events_.OnPaintMinimized();
    EndPaint(window_, &paint);
    paintDc_ = nullptr;
    return TRUE;
  }

  static Win32DialogHost* OfWindow(HWND window) {
    HWND root = window != nullptr ? GetAncestor(window, GA_ROOT) : nullptr;
    if (root == nullptr || GetWindowLongPtrW(root, DWLP_USER) == 0) return nullptr;
    // Only dialogs of this backend run DialogProc; others keep DWLP_USER for themselves.
    if (reinterpret_cast<DLGPROC>(GetWindowLongPtrW(root, DWLP_DLGPROC)) != &DialogProc) return nullptr;
    return reinterpret_cast<Win32DialogHost*>(GetWindowLongPtrW(root, DWLP_USER));
  }
  friend void fw::win::RouteMessage(tagMSG& msg);

  // Keystrokes queued for this window first meet the dialog's pre-filter.
  // Enter and Escape are the pre-filter's to interpret: one it lets pass
  // goes to the focused control as a plain keystroke, never to the dialog
  // manager's accept and cancel. Every other message gets the dialog
  // manager's handling (Tab, arrows, mnemonics). While a drop-down list is
  // open its keys are the list's own (Escape closes the list only), as they
  // are for the open popup on the Qt backend.
  bool PreTranslate(MSG& msg) {
    if (msg.hwnd != window_ && !IsChild(window_, msg.hwnd)) return false;
    const bool key = msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR;
    if (key && IsInOpenDropDown(msg.hwnd)) return false;
    if (key) {
      Msg filtered{msg.message, static_cast<std::uint32_t>(msg.wParam)};
      if (events_.OnPreTranslate(filtered)) return true;
      const bool dialogKey = msg.message == WM_CHAR
                                 ? (msg.wParam == L'\r' || msg.wParam == 0x1B)
                                 : (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
      if (dialogKey) return false;
    }
    return IsDialogMessageW(window_, &msg) != FALSE;
  }

  // The window or one of its parents below the dialog is a combo box whose
  // list is dropped down (an editable combo box types into a child edit).
  bool IsInOpenDropDown(HWND target) const {
    for (HWND w = target; w != nullptr && w != window_; w = GetParent(w)) {
      wchar_t className[16] = {};
      GetClassNameW(w, className, 16);
      if (lstrcmpiW(className, L"ComboBox") == 0) return SendMessageW(w, CB_GETDROPPEDSTATE, 0, 0) != 0;
    }
    return false;
  }

  const DialogTemplate& template_;
  backend::DialogEvents& events_;
  HWND window_ = nullptr;
  Win32Timers timers_;
  IconCache icons_;
  HDC paintDc_ = nullptr;
  std::unique_ptr<HwndPeer> windowPeer_;
  std::vector<std::unique_ptr<HwndPeer>> controls_;
  std::map<HWND, std::size_t> templateIndex_;
  bool ended_ = false;
};

}  // namespace

void RouteMessage(tagMSG& msg) {
  Win32DialogHost* host = Win32DialogHost::OfWindow(msg.hwnd);
  if (host != nullptr && host->PreTranslate(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace fw::win

namespace fw::backend {

std::unique_ptr<DialogHost> CreateDialogHost(const DialogTemplate& dialogTemplate,
                                             DialogEvents& events) {
  return std::make_unique<win::Win32DialogHost>(dialogTemplate, events);
}

}  // namespace fw::backend
