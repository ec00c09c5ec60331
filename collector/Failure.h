#pragma once
// How the device operations' messages reach the collector, and what kind of
// failure each message stands for.
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

// The kind of failure behind a message of the connect steps or of a read,
// as MessageKeeper::Take gives it (without its line break).
FailureKind ClassifyFailure(const std::string& message);

}  // namespace kestrel::collector
