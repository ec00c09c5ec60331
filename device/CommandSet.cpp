#include "device/CommandSet.h"

#include <array>
#include <cstddef>

#include "device/ModelTable.h"
#include "device/Protocol.h"

namespace kestrel {

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

// A reply field at `offset` is real data only when it lies before the
// terminator, which is always the last byte of the reply.
bool HoldsOffset(std::size_t replyLength, std::size_t offset) { return offset + 1 < replyLength; }

bool ValidInput(int input) { return input >= 0 && input < kMaxInputs; }

// Runs one exchange on the main slot. A reply that ends before `lastOffset`
// counts as a failed exchange, so that no field is ever taken from bytes the
// device did not send. Does not report: each operation decides how.
class Exchange {
 public:
  Exchange(CommandSet& set, const Request& request, std::size_t lastOffset)
      : status_(Run(set, request, lastOffset)) {}

  bool ok() const { return Succeeded(status_); }
  std::size_t length() const { return length_; }
  std::uint8_t at(std::size_t offset) const { return reply_[offset]; }
  const std::uint8_t* data(std::size_t offset) const { return reply_.data() + offset; }

 private:
  Status Run(CommandSet& set, const Request& request, std::size_t lastOffset) {
    const Status s = set.channel().Transact(request.bytes.data(), request.length, reply_,
                                            UntilTerminator, Slot::MainSlot, &length_);
    if (Failed(s)) return s;
    if (!HoldsOffset(length_, lastOffset)) {
      set.state().lastError = kReplyDataError;
      return kStatusFail;
    }
    return kStatusOk;
  }

  ReplyBuffer reply_{};
  std::size_t length_ = 0;
  Status status_;
};

}  // namespace

// Replies of the write commands carry nothing that is read; the echo and
// terminator that the framing already checked are all there is.
inline constexpr std::size_t kNoFields = 0;

Status CommandSet::ReportFailure() {
  port_.ShowMessage(state_.lastError);
  return kStatusFail;
}

Status CommandSet::IdentifyDevice() {
  const Exchange reply(*this, MakeRequest(protocol::kIdentify), protocol::kMiModelOffset);
  if (!reply.ok()) return ReportFailure();

  const std::uint8_t modelByte = reply.at(protocol::kMiModelOffset);
  const bool extended = protocol::IsExtendedModelByte(modelByte);
  // The extended model byte must be checked before any field is written: a
  // reply that ends where it should stand changes nothing.
  if (extended && !HoldsOffset(reply.length(), protocol::kMiExtendedOffset)) {
    state_.lastError = kReplyDataError;
    return ReportFailure();
  }
  const std::uint8_t extendedByte = extended ? reply.at(protocol::kMiExtendedOffset) : 0;

  state_.unitId = protocol::UnitFromByte(reply.at(protocol::kMiUnitOffset));
  state_.modelIndex = protocol::ModelFromBytes(modelByte, extendedByte);
  if (extended) state_.protocolFamily = protocol::FamilyOfExtendedModel(state_.modelIndex);
  return kStatusOk;
}

Status CommandSet::ReadInputConfig(int input) {
  if (!ValidInput(input)) return kStatusFail;
  const Exchange reply(*this, MakeRequest(protocol::kReadInputMode, protocol::InputSelector(input)),
                       protocol::kPhModeOffset);
  if (!reply.ok()) return ReportFailure();

  const protocol::InputMode mode = protocol::DecodeInputMode(reply.at(protocol::kPhModeOffset));
  InputConfig& config = state_.inputs[static_cast<std::size_t>(input)];
  config.enabled = mode.enabled;
  config.edge = mode.edge;
  return kStatusOk;
}

Status CommandSet::ReadSettings() {
  {
    const Exchange reply(*this, MakeRequest(protocol::kReadPulseMode), protocol::kPjFilterOffset);
    if (!reply.ok()) return ReportFailure();
    const protocol::PulseMode mode = protocol::DecodePulseMode(
        reply.at(protocol::kPjControlOffset), reply.at(protocol::kPjFilterOffset));
    state_.countingOn = mode.countingOn;
    state_.countPeriod = mode.countPeriod;
    state_.chatterCode = mode.chatterCode;
  }
  {
    const Exchange reply(*this, MakeRequest(protocol::kReadGate), protocol::kPpGateOffset);
    if (!reply.ok()) return ReportFailure();
    state_.startStopRunning = protocol::GateRunning(reply.at(protocol::kPpGateOffset));
  }
  for (int input = 0; input < CurrentInputCount(state_); ++input) {
    // ReadInputConfig has reported its own failure.
    if (Failed(ReadInputConfig(input))) return kStatusFail;
  }
  return kStatusOk;
}

Status CommandSet::ReceiveSettings() {
  if (Failed(ReadSettings())) return kStatusFail;
  port_.RefreshControls();
  return kStatusOk;
}

Status CommandSet::WriteInputConfigs() {
  for (int input = 0; input < CurrentInputCount(state_); ++input) {
    const InputConfig& config = state_.inputs[static_cast<std::size_t>(input)];
    const Exchange reply(*this,
                         MakeRequest(protocol::kWriteInputMode, protocol::InputSelector(input),
                                     protocol::EncodeInputMode(config.enabled, config.edge)),
                         kNoFields);
    if (!reply.ok()) return ReportFailure();
  }
  return kStatusOk;
}

Status CommandSet::SendPulseMode(bool counting) {
  const Exchange reply(
      *this,
      MakeRequest(protocol::kWritePulseMode,
                  protocol::BuildControlByte(counting, state_.countPeriod, state_.chatterCode),
                  protocol::BuildFilterByte(state_.chatterCode)),
      kNoFields);
  return reply.ok() ? kStatusOk : ReportFailure();
}

Status CommandSet::SendGate(std::uint8_t gate) {
  const Exchange reply(*this, MakeRequest(protocol::kWriteGate, gate), kNoFields);
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
    if (state_.countPeriod == 0 && Failed(SendGate(protocol::kGateStart))) return kStatusFail;
    state_.countingOn = 1;
    state_.startStopRunning = 1;
    port_.UpdateCountingControls();
    return kStatusOk;
  }

  // Periodic reading ends with counting, even if a command below fails.
  if (state_.autoUpdateActive != 0) {
    port_.StopAutoUpdate();
    state_.autoUpdateActive = 0;
  }
  if (state_.countPeriod == 0 && Failed(SendGate(protocol::kGateStop))) return kStatusFail;
  if (Failed(SendPulseMode(false))) return kStatusFail;
  state_.countingOn = 0;
  state_.startStopRunning = 0;
  port_.UpdateCountingControls();
  return kStatusOk;
}

Status CommandSet::ReadCount(int input) {
  if (!ValidInput(input)) return kStatusFail;
  const Exchange reply(*this, MakeRequest(protocol::kReadCounter, protocol::InputSelector(input)),
                       protocol::kPgCounterOffset + protocol::kPgCounterLength - 1);
  if (!reply.ok()) {
    // Periodic reading stops before the message is shown, so that no timer
    // tick can start another read while the operator looks at it.
    port_.StopAutoUpdate();
    state_.autoUpdateActive = 0;
    return ReportFailure();
  }
  state_.inputs[static_cast<std::size_t>(input)].count =
      protocol::ParseCounterText(reply.data(protocol::kPgCounterOffset), protocol::kPgCounterLength);
  return kStatusOk;
}

}  // namespace kestrel
