#pragma once
#include <string>

namespace kestrel::device {

// How the device operations reach the operator and the front end's display.
// The window implements it with message boxes and control refreshes; the
// command-line tool with standard error and no-ops.
class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  // Shows one message and returns only once the operator has seen it.
  virtual void ShowMessage(const std::string& text) = 0;

  // Re-populates every control from the device state.
  virtual void RefreshControls() = 0;

  // Re-derives which controls follow the counting state.
  virtual void UpdateCountingControls() = 0;

  // Ends periodic reading on the display side: the auto-update box is
  // unticked and its timer stopped. The caller clears autoUpdateActive.
  virtual void StopAutoUpdate() = 0;
};

}  // namespace kestrel::device
