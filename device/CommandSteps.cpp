#include "device/CommandSteps.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "common/ModelTable.h"
#include "common/OperatorTexts.h"
#include "common/Protocol.h"
#include "device/ReplyFields.h"

namespace kestrel::device::steps {

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

// One exchange: its request, kept here while it is sent (the exchange may
// suspend), and its reply, whose fields are read with the decoders of
// ReplyFields.h. The reply's buffer is on the heap for the exchange only, so
// that a step's frame stays small: a fleet of devices in the middle of their
// steps would otherwise each hold several buffers' worth. It is not cleared:
// only `length` bytes are read.
struct Reply {
  explicit Reply(const Request& r) : request(r), bytes(std::make_unique_for_overwrite<net::ReplyBuffer>()) {}
  Request request;
  std::unique_ptr<net::ReplyBuffer> bytes;
  std::size_t length = 0;
  Status status = kStatusFail;

  bool ok() const { return Succeeded(status); }
  template <class Decoder>
  auto Decode(Decoder decoder) const -> decltype(decoder(nullptr, std::size_t{})) {
    if (!ok()) return std::nullopt;
    return decoder(bytes->data(), length);
  }
};

// Runs one exchange on the main slot. Does not report: each step decides how.
// A plain function rather than a coroutine of its own, so that an exchange
// costs no frame besides the link's.
Task<Status> Exchange(Session s, Reply& reply) {
  return s.link.Transact(reply.request.bytes.data(), reply.request.length, *reply.bytes,
                         net::ReplyFraming::UntilTerminator, net::Slot::MainSlot, &reply.length);
}

Status ReportFailure(Session s) {
  s.frontEnd.ShowMessage(s.state.lastError);
  return kStatusFail;
}

// A reply that completed but ends before a field the step reads: the channel
// succeeded, so the text must be set here.
void NoteShortReply(Session s, bool exchanged) {
  if (!exchanged) return;
  s.state.lastError = kMsgReplyDataError;
  s.state.lastFailure = {FailureStep::Reply, FailureKind::Reply, 0};
}

Task<Status> SendPulseMode(Session s, bool counting) {
  Reply reply(MakeRequest(protocol::kWritePulseMode,
                          protocol::BuildControlByte(counting, s.state.countPeriod, s.state.chatterCode),
                          protocol::BuildFilterByte(s.state.chatterCode)));
  reply.status = co_await Exchange(s, reply);
  co_return reply.ok() ? kStatusOk : ReportFailure(s);
}

Task<Status> SendGate(Session s, std::uint8_t gate) {
  Reply reply(MakeRequest(protocol::kWriteGate, gate));
  reply.status = co_await Exchange(s, reply);
  co_return reply.ok() ? kStatusOk : ReportFailure(s);
}

}  // namespace

Task<Status> IdentifyDevice(Session s) {
  Reply reply(MakeRequest(protocol::kIdentify));
  reply.status = co_await Exchange(s, reply);
  const std::optional<Identity> identity = reply.Decode(DecodeIdentifyReply);
  if (!identity) {
    NoteShortReply(s, reply.ok());
    co_return ReportFailure(s);
  }
  s.state.unitId = identity->unitId;
  s.state.modelIndex = identity->modelIndex;
  if (identity->protocolFamily) s.state.protocolFamily = *identity->protocolFamily;
  co_return kStatusOk;
}

Task<Status> ReadInputConfig(Session s, int input) {
  if (!ValidInput(input)) co_return kStatusFail;
  Reply reply(MakeRequest(protocol::kReadInputMode, protocol::InputSelector(input)));
  reply.status = co_await Exchange(s, reply);
  const std::optional<protocol::InputMode> mode = reply.Decode(DecodeInputModeReply);
  if (!mode) {
    NoteShortReply(s, reply.ok());
    co_return ReportFailure(s);
  }
  InputConfig& config = s.state.inputs[static_cast<std::size_t>(input)];
  config.enabled = mode->enabled;
  config.edge = mode->edge;
  co_return kStatusOk;
}

Task<Status> ReadSettings(Session s) {
  {
    Reply reply(MakeRequest(protocol::kReadPulseMode));
    reply.status = co_await Exchange(s, reply);
    const std::optional<protocol::PulseMode> mode = reply.Decode(DecodePulseModeReply);
    if (!mode) {
      NoteShortReply(s, reply.ok());
      co_return ReportFailure(s);
    }
    s.state.countingOn = mode->countingOn;
    s.state.countPeriod = mode->countPeriod;
    s.state.chatterCode = mode->chatterCode;
  }
  {
    Reply reply(MakeRequest(protocol::kReadGate));
    reply.status = co_await Exchange(s, reply);
    const std::optional<std::int32_t> running = reply.Decode(DecodeGateReply);
    if (!running) {
      NoteShortReply(s, reply.ok());
      co_return ReportFailure(s);
    }
    s.state.startStopRunning = *running;
  }
  for (int input = 0; input < CurrentInputCount(s.state); ++input) {
    // ReadInputConfig has reported its own failure.
    const Status read = co_await ReadInputConfig(s, input);
    if (Failed(read)) co_return kStatusFail;
  }
  co_return kStatusOk;
}

Task<Status> ReceiveSettings(Session s) {
  const Status read = co_await ReadSettings(s);
  if (Failed(read)) co_return kStatusFail;
  s.frontEnd.RefreshControls();
  co_return kStatusOk;
}

Task<Status> WriteInputConfigs(Session s) {
  for (int input = 0; input < CurrentInputCount(s.state); ++input) {
    const InputConfig& config = s.state.inputs[static_cast<std::size_t>(input)];
    Reply reply(MakeRequest(protocol::kWriteInputMode, protocol::InputSelector(input),
                            protocol::EncodeInputMode(config.enabled, config.edge)));
    reply.status = co_await Exchange(s, reply);
    if (!reply.ok()) co_return ReportFailure(s);
  }
  co_return kStatusOk;
}

Task<Status> ApplySettings(Session s) {
  // The counting bit goes out clear: settings are only applied while counting
  // is off, and the device must not start counting as a side effect.
  const Status sent = co_await SendPulseMode(s, false);
  if (Failed(sent)) co_return kStatusFail;
  const Status written = co_await WriteInputConfigs(s);
  co_return written;
}

Task<Status> ToggleCounting(Session s) {
  DeviceState& state = s.state;
  if (state.countingOn == 0) {
    // Start with the period and filter the device holds, shown in the window.
    const Status received = co_await ReceiveSettings(s);
    if (Failed(received)) co_return kStatusFail;
    const Status started = co_await SendPulseMode(s, true);
    if (Failed(started)) co_return kStatusFail;
    if (state.countPeriod == CountPeriod::StartStop) {
      const Status opened = co_await SendGate(s, protocol::kGateStart);
      if (Failed(opened)) co_return kStatusFail;
    }
    state.countingOn = 1;
    state.startStopRunning = 1;
    s.frontEnd.UpdateCountingControls();
    co_return kStatusOk;
  }

  // Periodic reading ends with counting, even if a command below fails.
  if (state.autoUpdateActive != 0) {
    s.frontEnd.StopAutoUpdate();
    state.autoUpdateActive = 0;
  }
  if (state.countPeriod == CountPeriod::StartStop) {
    const Status closed = co_await SendGate(s, protocol::kGateStop);
    if (Failed(closed)) co_return kStatusFail;
  }
  const Status stopped = co_await SendPulseMode(s, false);
  if (Failed(stopped)) co_return kStatusFail;
  state.countingOn = 0;
  state.startStopRunning = 0;
  s.frontEnd.UpdateCountingControls();
  co_return kStatusOk;
}

Task<Status> ReadCount(Session s, int input) {
  if (!ValidInput(input)) co_return kStatusFail;
  Reply reply(MakeRequest(protocol::kReadCounter, protocol::InputSelector(input)));
  reply.status = co_await Exchange(s, reply);
  const std::optional<std::uint32_t> count = reply.Decode(DecodeCounterReply);
  if (!count) {
    NoteShortReply(s, reply.ok());
    // Periodic reading stops before the message is shown, so that no timer
    // tick can start another read while the operator looks at it.
    s.frontEnd.StopAutoUpdate();
    s.state.autoUpdateActive = 0;
    co_return ReportFailure(s);
  }
  s.state.inputs[static_cast<std::size_t>(input)].count = *count;
  co_return kStatusOk;
}

}  // namespace kestrel::device::steps
