#include "device/ModeCheck.h"

#include <string_view>

#include "common/Protocol.h"

namespace kestrel::device {

namespace {

// Cuts the dump into CR LF-ended lines. Text after the last CR LF is not a
// line: the device always ends its dump with a line break, so such a rest can
// only be a cut-off answer.
class LineReader {
 public:
  LineReader(const std::uint8_t* text, std::size_t length)
      : text_(reinterpret_cast<const char*>(text), length) {}

  bool Next(std::string_view& line) {
    const std::size_t end = text_.find("\r\n", position_);
    if (end == std::string_view::npos) return false;
    line = text_.substr(position_, end - position_);
    position_ = end + 2;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

}  // namespace

bool DumpShowsSpontaneousMode(const std::uint8_t* reply, std::size_t length) {
  // Names and values come in pairs; comparisons are of whole lines, byte for
  // byte, so "mode", "MODE " or "01" never match. However long a line is, it
  // counts as one line, which keeps the pairs in step.
  LineReader lines(reply, length);
  std::string_view name;
  std::string_view value;
  while (lines.Next(name)) {
    if (name == "END") return false;
    if (!lines.Next(value)) return false;
    if (name == "MODE" && value == "1") return true;
  }
  // The lines ran out before the closing name: nothing said the mode is on.
  return false;
}

Task<ModeCheckOutcome> ModeCheckSteps(Session s, std::uint16_t configPort) {
  net::ReplyBuffer reply{};
  std::size_t length = 0;
  const Status exchanged = co_await net::ExchangeOnConfigPort(
      s.link, s.state, s.state.deviceAddress, configPort,
      reinterpret_cast<const std::uint8_t*>(protocol::kConfigDumpQuery),
      protocol::kConfigDumpQueryLength, reply, net::ReplyFraming::UntilEndMarker, &length);
  if (Failed(exchanged)) {
    s.frontEnd.ShowMessage(s.state.lastError);
    co_return ModeCheckOutcome::LinkFailed;
  }
  if (DumpShowsSpontaneousMode(reply.data(), length)) {
    s.state.lastFailure = {FailureStep::ModeCheck, FailureKind::Mode, 0};
    s.frontEnd.ShowMessage(kMsgSpontaneousMode);
    co_return ModeCheckOutcome::Refused;
  }
  co_return ModeCheckOutcome::Passed;
}

ModeCheckOutcome RunModeCheck(CommandSet& commands, std::uint16_t configPort) {
  return RunToEnd(ModeCheckSteps(commands.session(), configPort));
}

}  // namespace kestrel::device
