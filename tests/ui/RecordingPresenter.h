#pragma once
// A message-box presenter that records each box and dismisses it at once.
#include <functional>
#include <vector>

#include "framework/MessageBox.h"
#include "framework/WindowStyles.h"

namespace kestrel::ui {

class RecordingPresenter : public fw::MessageBoxPresenter {
 public:
  int Present(const fw::MessageBoxRequest& request) override {
    boxes.push_back(request);
    if (onPresent) onPresent();
    return fw::IDOK;
  }

  std::vector<fw::MessageBoxRequest> boxes;
  std::function<void()> onPresent;  // runs while the box would be open
};

}  // namespace kestrel::ui
