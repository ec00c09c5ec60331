#pragma once
// The operator as the command line sees it: messages go to standard error;
// there are no controls to refresh and no auto-update timer to stop.
#include <ostream>
#include <string>

#include "device/FrontEnd.h"

namespace kestrel::cli {

class TerminalFrontEnd final : public device::FrontEnd {
 public:
  explicit TerminalFrontEnd(std::ostream& messages) : messages_(messages) {}

  // One line per message: the device texts end in "\r\n" for the window's
  // message box, which a terminal or a log file would show as a stray "^M".
  // A Japanese text is followed by its English hint line.
  void ShowMessage(const std::string& text) override;
  void RefreshControls() override {}
  void UpdateCountingControls() override {}
  void StopAutoUpdate() override {}

 private:
  std::ostream& messages_;
};

}  // namespace kestrel::cli
