#pragma once
// How the device operations' messages and failure causes reach the
// collector.
#include <string>

#include "collector/Records.h"
#include "device/Connect.h"
#include "device/FrontEnd.h"

namespace kestrel::collector {

// The operations tell the operator through this port; the collector has no
// operator at hand and keeps the last text for its failure record instead.
class MessageKeeper final : public device::FrontEnd {
 public:
  void ShowMessage(const std::string& text) override { last_ = text; }
  void RefreshControls() override {}
  void UpdateCountingControls() override {}
  void StopAutoUpdate() override {}

  // The last message without its trailing line break.
  std::string Take();

 private:
  std::string last_;
};

// The cause the device operations recorded for their last failure, cleared
// so that the next failure cannot be read as this one. A failure that
// recorded no cause counts as a closed connection.
FailureCause TakeFailure(DeviceState& state);

}  // namespace kestrel::collector
