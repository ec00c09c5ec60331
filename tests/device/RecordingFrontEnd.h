#pragma once
// An FrontEnd that records what the operations asked of the front end, in
// order, so that tests can check both the texts and their sequence.
#include <string>
#include <vector>

#include "device/FrontEnd.h"

namespace kestrel::device {

class RecordingFrontEnd : public FrontEnd {
 public:
  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    events.push_back("message");
  }
  void RefreshControls() override { events.push_back("refresh"); }
  void UpdateCountingControls() override { events.push_back("counting"); }
  void StopAutoUpdate() override { events.push_back("stop-auto-update"); }

  std::vector<std::string> messages;
  std::vector<std::string> events;
};

}  // namespace kestrel::device
