#pragma once
// The common window base: a wrapper around one native window (a control or
// the dialog itself). A wrapper that is not attached answers with defaults
// and ignores requests, as the window is gone or not yet there.
#include <string>

#include "framework/DialogUnits.h"

namespace fw {

namespace backend {
class ControlPeer;
class FontPeer;
}  // namespace backend

class CFont;

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  int GetDlgCtrlID() const { return id_; }

  void SetWindowText(const std::string& text);
  std::string GetWindowText() const;

  // Returns whether the window was disabled before.
  bool EnableWindow(bool enable = true);
  bool IsWindowEnabled() const;

  // SW_HIDE or SW_SHOW; returns whether the window was shown before.
  bool ShowWindow(int command);
  // Shown, and every window it lies in shown too.
  bool IsWindowVisible() const;

  void SetFont(const CFont* font, bool redraw = true);
  void SetFocus();

  // Position and size in pixels within the dialog's client area.
  PixelRect GetPlacement() const;

  // The backend's native window object, null when not attached.
  void* GetSafeHwnd() const;

  bool IsAttached() const { return peer_ != nullptr; }
  void Attach(backend::ControlPeer& peer, int id);
  void Detach();

 protected:
  backend::ControlPeer* peer() const { return peer_; }

 private:
  backend::ControlPeer* peer_ = nullptr;
  int id_ = 0;
};

}  // namespace fw
