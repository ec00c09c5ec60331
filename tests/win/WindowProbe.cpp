// Looks at a running KestrelW window from another process, the way an
// operator would see it, for the smoke test:
//   kestrel-window-probe list            interface rows, selection, window rectangle
//   kestrel-window-probe connect ADDRESS types the address, presses connect,
//                                        reports the identity shown or the message box
//   kestrel-window-probe close           presses the close box
// Every wait is bounded; exit status 0 on success, 1 when the window or the
// expected state does not appear in time, 2 on bad usage.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr int kAdapterList = 1131;
constexpr int kAddressEdit = 1000;
constexpr int kConnectButton = 1002;
constexpr int kUnitIdText = 1019;
constexpr int kModelText = 1020;
constexpr int kWindowWaitSeconds = 90;
constexpr int kConnectWaitSeconds = 40;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::wstring Wide(const char* text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
  out.resize(static_cast<std::size_t>(n > 0 ? n - 1 : 0));
  return out;
}

std::wstring TextOf(HWND window) {
  wchar_t buffer[512] = {};
  SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

// The main window: a dialog captioned KestrelW that carries the interface list.
HWND FindMainWindow() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND window, LPARAM out) -> BOOL {
        if (TextOf(window) == L"KestrelW" && GetDlgItem(window, kAdapterList) != nullptr &&
            IsWindowVisible(window)) {
          *reinterpret_cast<HWND*>(out) = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// A message box owned by the main window.
HWND FindMessageBox(HWND owner) {
  struct Search {
    HWND owner;
    HWND found;
  } search{owner, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<Search*>(param);
        if (window != s->owner && GetWindow(window, GW_OWNER) == s->owner && IsWindowVisible(window)) {
          s->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

template <class Condition>
bool WaitFor(int seconds, Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

void Print(const char* key, const std::wstring& value) {
  std::printf("%s %s\n", key, Utf8(value).c_str());
}

int List(HWND main) {
  HWND list = GetDlgItem(main, kAdapterList);
  const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count && i < 256; ++i) {
    wchar_t item[512] = {};
    if (SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 512) {
      SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
    }
    Print("adapter", item);
  }
  std::printf("selected %d\n", static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0)));
  RECT r{};
  GetWindowRect(main, &r);
  std::printf("rect %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  return 0;
}

int Connect(HWND main, const char* address) {
  SendMessageW(GetDlgItem(main, kAddressEdit), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(address).c_str()));
  HWND button = GetDlgItem(main, kConnectButton);
  const std::wstring before = TextOf(button);
  // The click the button would send; posted, as the dialog then talks to
  // the device before it answers anything.
  PostMessageW(main, WM_COMMAND, MAKEWPARAM(kConnectButton, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  HWND box = nullptr;
  const bool settled = WaitFor(kConnectWaitSeconds, [&] {
    box = FindMessageBox(main);
    return box != nullptr || TextOf(button) != before;
  });
  if (box != nullptr) {
    HWND text = GetDlgItem(box, 0xFFFF);  // the box's message text
    Print("messagebox", text != nullptr ? TextOf(text) : TextOf(box));
  }
  Print("button", TextOf(button));
  Print("unit", TextOf(GetDlgItem(main, kUnitIdText)));
  Print("model", TextOf(GetDlgItem(main, kModelText)));
  return settled && box == nullptr ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command != "list" && command != "close" && !(command == "connect" && argc > 2)) {
    std::fprintf(stderr, "usage: %s list | connect ADDRESS | close\n", argv[0]);
    return 2;
  }
  HWND main = nullptr;
  if (!WaitFor(kWindowWaitSeconds, [&] { return (main = FindMainWindow()) != nullptr; })) {
    std::fprintf(stderr, "no KestrelW window within %d s\n", kWindowWaitSeconds);
    return 1;
  }
  int status = 0;
  if (command == "list") status = List(main);
  if (command == "connect") status = Connect(main, argv[2]);
  if (command == "close") PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  std::fflush(stdout);
  return status;
}
