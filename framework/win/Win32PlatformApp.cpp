// The process side of the Win32 backend: the message loop outside any dialog,
// the executable's path and message boxes.
#include "framework/MessageBox.h"
#include "framework/backend/Backend.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "framework/win/Utf16.h"

namespace fw::backend {

namespace {
class Win32PlatformApp : public PlatformApp {
 public:
  int RunMessageLoop() override {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
  }
};
}  // namespace

std::unique_ptr<PlatformApp> StartPlatformApp(int&, char**) { return std::make_unique<Win32PlatformApp>(); }

std::string ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return win::ToUtf8(path);
    }
    path.resize(path.size() * 2);  // truncated: try a larger buffer
  }
  return {};
}

}  // namespace fw::backend

namespace fw {

namespace {
class Win32MessageBoxPresenter : public MessageBoxPresenter {
 public:
  int Present(const MessageBoxRequest& request) override {
    // OK alone, no icon; owned by the window so that it stays modal to it.
    const std::wstring text = win::ToUtf16(request.text);
    const std::wstring caption = win::ToUtf16(request.caption);
    return MessageBoxW(static_cast<HWND>(request.ownerWindow), text.c_str(), caption.c_str(), MB_OK);
  }
};
}  // namespace

MessageBoxPresenter& PlatformMessageBoxPresenter() {
  static Win32MessageBoxPresenter presenter;
  return presenter;
}

}  // namespace fw
