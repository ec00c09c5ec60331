// Operator input for tests on the native window system: mouse and keyboard
// messages to the controls, keystrokes through the message queue (so they
// meet the dialog's pre-filter), and images of the window.
#include "framework/testing/OperatorInput.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <array>
#include <cstdio>
#include <memory>
#include <vector>

#include "framework/win/MessageRouting.h"
#include "framework/win/Utf16.h"

namespace fw::testing {

namespace {

constexpr UINT kRunAction = WM_APP + 1;
constexpr UINT_PTR kShownPollTimer = 1;
constexpr UINT kShownPollMs = 10;

HWND Native(const CWnd& control) { return static_cast<HWND>(control.GetSafeHwnd()); }

bool Accepts(HWND window) {
  return window != nullptr && IsWindowVisible(window) && IsWindowEnabled(window);
}

// A message-only window that runs actions posted to it from any loop.
LRESULT CALLBACK ActionProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunAction) {
    std::unique_ptr<std::function<void()>> action(reinterpret_cast<std::function<void()>*>(lParam));
    (*action)();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND ActionWindow() {
  static const HWND window = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ActionProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KestrelTestActions";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           windowClass.hInstance, nullptr);
  }();
  return window;
}

void PumpQueued() {
  MSG msg;
  for (int guard = 0; guard < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++guard) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    win::RouteMessage(msg);
  }
}

UINT VirtualKey(Key key) {
  switch (key) {
    case Key::Enter:
      return VK_RETURN;
    case Key::Escape:
      return VK_ESCAPE;
    case Key::Tab:
      return VK_TAB;
    case Key::Down:
      break;
  }
  return VK_DOWN;
}

// --- PNG writing: stored (uncompressed) deflate blocks keep it short. ---

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void Chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
  PutU32(out, static_cast<std::uint32_t>(data.size()));
  std::vector<std::uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  PutU32(out, Crc32(body.data(), body.size()));
}

std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
  std::vector<std::uint8_t> raw;  // one filter byte (none) before each row
  const std::size_t stride = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgb.begin() + static_cast<long>(y * stride),
               rgb.begin() + static_cast<long>((y + 1) * stride));
  }
  std::vector<std::uint8_t> z{0x78, 0x01};
  for (std::size_t at = 0; at < raw.size() || at == 0;) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
    z.push_back(at + n == raw.size() ? 1 : 0);
    z.push_back(static_cast<std::uint8_t>(n));
    z.push_back(static_cast<std::uint8_t>(n >> 8));
    z.push_back(static_cast<std::uint8_t>(~n));
    z.push_back(static_cast<std::uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + n));
    at += n;
    if (n == 0) break;
  }
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutU32(z, (b << 16) | a);

  std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  PutU32(header, static_cast<std::uint32_t>(width));
  PutU32(header, static_cast<std::uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});
  return png;
}

}  // namespace

void Click(CWnd& control) {
  HWND window = Native(control);
  if (!Accepts(window)) return;
  RECT r{};
  GetClientRect(window, &r);
  const LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(window, WM_LBUTTONUP, 0, at);
  PumpQueued();
}

void Type(CWnd& control, const std::string& text) {
  HWND window = Native(control);
  if (!Accepts(window)) return;
  SetFocus(window);
  // The caret goes after the text already there, where a click behind the
  // text would put it; a text set by code leaves it at the start.
  const int end = GetWindowTextLengthW(window);
  SendMessageW(window, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  for (wchar_t c : win::ToUtf16(text)) SendMessageW(window, WM_CHAR, c, 1);
  PumpQueued();
}

void PressKey(CDialog& dialog, Key key) {
  HWND target = GetFocus();
  if (target == nullptr) target = Native(dialog);
  const UINT vk = VirtualKey(key);
  PostMessageW(target, WM_KEYDOWN, vk, 1);
  PostMessageW(target, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
  PumpQueued();
}

void PressCloseBox(CDialog& dialog) {
  HWND window = Native(dialog);
  if (window == nullptr) return;
  PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  PumpQueued();
}

void Pick(CComboBox& list, int index) {
  HWND window = Native(list);
  if (!Accepts(window)) return;
  // What the opened list does for a mouse pick: select, close, notify.
  SendMessageW(window, CB_SHOWDROPDOWN, TRUE, 0);
  SendMessageW(window, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(window, CB_SHOWDROPDOWN, FALSE, 0);
  SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(window));
  PumpQueued();
}

void OpenList(CComboBox& list) {
  HWND window = Native(list);
  if (!Accepts(window)) return;
  SetFocus(window);
  SendMessageW(window, CB_SHOWDROPDOWN, TRUE, 0);
  PumpQueued();
}

bool IsListOpen(CComboBox& list) {
  HWND window = Native(list);
  return window != nullptr && SendMessageW(window, CB_GETDROPPEDSTATE, 0, 0) != 0;
}

void PostToMessageLoop(std::function<void()> action) {
  auto* owned = new std::function<void()>(std::move(action));
  PostMessageW(ActionWindow(), kRunAction, 0, reinterpret_cast<LPARAM>(owned));
}

void PumpMessages(std::chrono::milliseconds duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  for (;;) {
    PumpQueued();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()), QS_ALLINPUT);
  }
}

int RunModalScript(CDialog& dialog, const std::function<void()>& script) {
  // The script starts once the dialog's window is on screen; a message box
  // shown during initialisation does not count.
  struct Pending {
    CDialog& dialog;
    const std::function<void()>& script;
    bool started = false;
  } pending{dialog, script};
  static Pending* current = nullptr;
  current = &pending;
  SetTimer(ActionWindow(), kShownPollTimer, kShownPollMs, [](HWND window, UINT, UINT_PTR id, DWORD) {
    if (current == nullptr || current->started || !current->dialog.IsWindowVisible()) return;
    current->started = true;
    KillTimer(window, id);
    current->script();
    if (current->dialog.IsWindowVisible()) current->dialog.EndDialog(kLeftOpen);
  });
  const int result = dialog.DoModal();
  KillTimer(ActionWindow(), kShownPollTimer);
  current = nullptr;
  return result;
}

struct WindowShowCounter::Impl {
  HHOOK hook = nullptr;
  int shown = 0;
  static Impl* active;
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && active != nullptr && call->message == WM_SHOWWINDOW &&
        call->wParam != FALSE && GetParent(call->hwnd) == nullptr) {
      ++active->shown;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
};
WindowShowCounter::Impl* WindowShowCounter::Impl::active = nullptr;

WindowShowCounter::WindowShowCounter() : impl_(new Impl) {
  Impl::active = impl_;
  impl_->hook = SetWindowsHookExW(WH_CALLWNDPROC, &Impl::Hook, nullptr, GetCurrentThreadId());
}

WindowShowCounter::~WindowShowCounter() {
  if (impl_->hook != nullptr) UnhookWindowsHookEx(impl_->hook);
  Impl::active = nullptr;
  delete impl_;
}

int WindowShowCounter::count() const { return impl_->shown; }

bool SaveWindowImage(CDialog& dialog, const std::string& path) {
  HWND window = Native(dialog);
  if (window == nullptr) return false;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT r{};
  GetWindowRect(window, &r);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;

  HDC screen = GetWindowDC(window);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  const auto* bgrx = static_cast<const std::uint8_t*>(bits);
  for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
    rgb[i * 3] = bgrx[i * 4 + 2];
    rgb[i * 3 + 1] = bgrx[i * 4 + 1];
    rgb[i * 3 + 2] = bgrx[i * 4];
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, screen);

  const std::vector<std::uint8_t> png = EncodePng(width, height, rgb);
  FILE* file = _wfopen(win::ToUtf16(path).c_str(), L"wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace fw::testing
