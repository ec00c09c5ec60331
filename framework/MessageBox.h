#pragma once
// Message boxes: the text, one OK button, no icon, captioned with the
// application title and owned by a window. How a box reaches the operator is a
// presenter's job; the platform's presenter blocks until the box is dismissed.
// Tests install a presenter of their own that records and dismisses.
#include <string>

namespace fw {

struct MessageBoxRequest {
  void* ownerWindow = nullptr;  // the owner's native window, may be null
  std::string caption;
  std::string text;  // lines end in "\r\n" or "\n"
};

class MessageBoxPresenter {
 public:
  virtual ~MessageBoxPresenter() = default;
  // Returns once the box is dismissed, with the button pressed (IDOK).
  virtual int Present(const MessageBoxRequest& request) = 0;
};

// The presenter that shows real boxes on this platform.
MessageBoxPresenter& PlatformMessageBoxPresenter();

}  // namespace fw
