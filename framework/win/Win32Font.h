#pragma once
#include "framework/backend/Backend.h"

namespace fw::win {

// Owns one window-system font (an HFONT).
class Win32FontPeer : public backend::FontPeer {
 public:
  explicit Win32FontPeer(void* handle) : handle_(handle) {}
  ~Win32FontPeer() override;
  void* handle() const { return handle_; }

 private:
  void* handle_;
};

}  // namespace fw::win
