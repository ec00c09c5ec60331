#include "device/CommandSet.h"

#include <array>
#include <cstddef>
#include <optional>

#include "common/ModelTable.h"
#include "common/OperatorTexts.h"
#include "common/Protocol.h"
#include "device/ReplyFields.h"

namespace kestrel::device {

namespace {

using protocol::CommandLetters;

// Request of a two-letter command: the letters, its parameter bytes and the
// terminator. The longest request carries two parameter bytes.
struct Request {
  std::array<std::uint8_t, 5> bytes{};
  std::size_t length = 0;
};

Request MakeRequest(CommandLetters letters) {
  return {{letters[0], letters[1], protocol::kCommandTerminator}, 3};
}
Request MakeRequest(CommandLetters letters, std::uint8_t p1) {
  return {{letters[0], letters[1], p1, protocol::kCommandTerminator}, 4};
}
Request MakeRequest(CommandLetters letters, std::uint8_t p1, std::uint8_t p2) {
  return {{letters[0], letters[1], p1, p2, protocol::kCommandTerminator}, 5};
}

bool ValidInput(int input) { return input >= 0 && input < kMaxInputs; }

// Runs one exchange on the main slot. Does not report: each operation decides
// how. The reply's fields are read with the decoders of ReplyFields.h.
class Exchange {
 public:
  Exchange(CommandSet& set, const Request& request) {
    status_ = set.channel().Transact(request.bytes.data(), request.length, reply_,
                                     net::ReplyFraming::UntilTerminator, net::Slot::MainSlot,
                                     &length_);
  }

  bool ok() const { return Succeeded(status_); }
  template <class Decoder>
  auto Decode(Decoder decoder) const -> decltype(decoder(nullptr, std::size_t{})) {
    if (!ok()) return std::nullopt;
    return decoder(reply_.data(), length_);
  }

 private:
  net::ReplyBuffer reply_{};
  std::size_t length_ = 0;
  Status status_ = kStatusFail;
};

}  // namespace

Status CommandSet::ReportFailure() {
  frontEnd_.ShowMessage(state_.lastError);
  return kStatusFail;
}

// A reply that completed but ends before a field the operation reads: the
// channel succeeded, so the text must be set here.
void CommandSet::NoteShortReply(bool exchanged) {
  if (!exchanged) return;
  state_.lastError = kMsgReplyDataError;
  state_.lastFailure = {FailureStep::Reply, FailureKind::Reply, 0};
}

Status CommandSet::IdentifyDevice() {
  const Exchange reply(*this, MakeRequest(protocol::kIdentify));
  const std::optional<Identity> identity = reply.Decode(DecodeIdentifyReply);
  if (!identity) {
    NoteShortReply(reply.ok());
    return ReportFailure();
  }
  state_.unitId = identity->unitId;
  state_.modelIndex = identity->modelIndex;
  if (identity->protocolFamily) state_.protocolFamily = *identity->protocolFamily;
  return kStatusOk;
}

Status CommandSet::ReadInputConfig(int input) {
  if (!ValidInput(input)) return kStatusFail;
  const Exchange reply(*this, MakeRequest(protocol::kReadInputMode, protocol::InputSelector(input)));
  const std::optional<protocol::InputMode> mode = reply.Decode(DecodeInputModeReply);
  if (!mode) {
    NoteShortReply(reply.ok());
    return ReportFailure();
  }
  InputConfig& config = state_.inputs[static_cast<std::size_t>(input)];
  config.enabled = mode->enabled;
  config.edge = mode->edge;
  return kStatusOk;
}

Status CommandSet::ReadSettings() {
  {
    const Exchange reply(*this, MakeRequest(protocol::kReadPulseMode));
    const std::optional<protocol::PulseMode> mode = reply.Decode(DecodePulseModeReply);
    if (!mode) {
      NoteShortReply(reply.ok());
      return ReportFailure();
    }
    state_.countingOn = mode->countingOn;
    state_.countPeriod = mode->countPeriod;
    state_.chatterCode = mode->chatterCode;
  }
  {
    const Exchange reply(*this, MakeRequest(protocol::kReadGate));
    const std::optional<std::int32_t> running = reply.Decode(DecodeGateReply);
    if (!running) {
      NoteShortReply(reply.ok());
      return ReportFailure();
    }
    state_.startStopRunning = *running;
  }
  for (int input = 0; input < CurrentInputCount(state_); ++input) {
    // ReadInputConfig has reported its own failure.
    if (Failed(ReadInputConfig(input))) return kStatusFail;
  }
  return kStatusOk;
}

Status CommandSet::ReceiveSettings() {
  if (Failed(ReadSettings())) return kStatusFail;
  frontEnd_.RefreshControls();
  return kStatusOk;
}

Status CommandSet::WriteInputConfigs() {
  for (int input = 0; input < CurrentInputCount(state_); ++input) {
    const InputConfig& config = state_.inputs[static_cast<std::size_t>(input)];
    const Exchange reply(*this,
                         MakeRequest(protocol::kWriteInputMode, protocol::InputSelector(input),
                                     protocol::EncodeInputMode(config.enabled, config.edge)));
    if (!reply.ok()) return ReportFailure();
  }
  return kStatusOk;
}

Status CommandSet::SendPulseMode(bool counting) {
  const Exchange reply(
      *this,
      MakeRequest(protocol::kWritePulseMode,
                  protocol::BuildControlByte(counting, state_.countPeriod, state_.chatterCode),
                  protocol::BuildFilterByte(state_.chatterCode)));
  return reply.ok() ? kStatusOk : ReportFailure();
}

Status CommandSet::SendGate(std::uint8_t gate) {
  const Exchange reply(*this, MakeRequest(protocol::kWriteGate, gate));
  return reply.ok() ? kStatusOk : ReportFailure();
}

Status CommandSet::ApplySettings() {
  // The counting bit goes out clear: settings are only applied while counting
  // is off, and the device must not start counting as a side effect.
  if (Failed(SendPulseMode(false))) return kStatusFail;
  return WriteInputConfigs();
}

Status CommandSet::ToggleCounting() {
  if (state_.countingOn == 0) {
    // Start with the period and filter the device holds, shown in the window.
    if (Failed(ReceiveSettings())) return kStatusFail;
    if (Failed(SendPulseMode(true))) return kStatusFail;
    if (state_.countPeriod == CountPeriod::StartStop && Failed(SendGate(protocol::kGateStart)))
      return kStatusFail;
    state_.countingOn = 1;
    state_.startStopRunning = 1;
    frontEnd_.UpdateCountingControls();
    return kStatusOk;
  }

  // Periodic reading ends with counting, even if a command below fails.
  if (state_.autoUpdateActive != 0) {
    frontEnd_.StopAutoUpdate();
    state_.autoUpdateActive = 0;
  }
  if (state_.countPeriod == CountPeriod::StartStop && Failed(SendGate(protocol::kGateStop)))
    return kStatusFail;
  if (Failed(SendPulseMode(false))) return kStatusFail;
  state_.countingOn = 0;
  state_.startStopRunning = 0;
  frontEnd_.UpdateCountingControls();
  return kStatusOk;
}

Status CommandSet::ReadCount(int input) {
  if (!ValidInput(input)) return kStatusFail;
  const Exchange reply(*this, MakeRequest(protocol::kReadCounter, protocol::InputSelector(input)));
  const std::optional<std::uint32_t> count = reply.Decode(DecodeCounterReply);
  if (!count) {
    NoteShortReply(reply.ok());
    // Periodic reading stops before the message is shown, so that no timer
    // tick can start another read while the operator looks at it.
    frontEnd_.StopAutoUpdate();
    state_.autoUpdateActive = 0;
    return ReportFailure();
  }
  state_.inputs[static_cast<std::size_t>(input)].count = *count;
  return kStatusOk;
}

}  // namespace kestrel::device
