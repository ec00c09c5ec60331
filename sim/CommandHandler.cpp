#include "sim/CommandHandler.h"

#include <algorithm>

namespace kestrel::sim {

namespace p = protocol;

std::size_t RequestFramer::Feed(const std::uint8_t* data, std::size_t length,
                                std::vector<Bytes>& frames) {
  std::size_t discarded = 0;
  for (std::size_t i = 0; i < length; ++i) {
    pending_.push_back(data[i]);
    if (data[i] == p::kCommandTerminator) {
      frames.push_back(std::move(pending_));
      pending_.clear();
    } else if (pending_.size() >= kMaxPending) {
      discarded += pending_.size();
      pending_.clear();
    }
  }
  return discarded;
}

p::CommandLetters LettersOf(const Bytes& frame) {
  if (frame.size() < 2) return {0, 0};
  return {frame[0], frame[1]};
}

namespace {

struct CommandShape {
  p::CommandLetters letters;
  std::size_t parameterCount;
};

constexpr CommandShape kCommands[] = {
    {p::kIdentify, 0},       {p::kReadPulseMode, 0},   {p::kReadGate, 0},
    {p::kReadInputMode, 1},  {p::kWriteInputMode, 2},  {p::kReadCounter, 1},
    {p::kWritePulseMode, 2}, {p::kWriteGate, 1},
};

// Chatter filter codes the device knows: off, or 4 to 20 ms.
bool IsChatterCode(std::int32_t code) { return code == 0 || (code >= 4 && code <= 20); }

// An input selector names one of the model's inputs (0x20 + number).
std::optional<int> SelectedInput(const SimDevice& device, std::uint8_t selector) {
  if (selector < p::InputSelector(0) || selector > p::InputSelector(7)) return std::nullopt;
  const int input = p::InputFromSelector(selector);
  if (input >= device.inputCount()) return std::nullopt;
  return input;
}

Bytes Reply(p::CommandLetters command, std::initializer_list<std::uint8_t> payload) {
  const p::CommandLetters echo = p::EchoOf(command);
  // Built byte by byte: g++ 12 at -O2 misreads a range insert into a freshly
  // initialised vector as an out-of-bounds copy.
  Bytes reply;
  reply.reserve(payload.size() + 3);
  reply.push_back(echo[0]);
  reply.push_back(echo[1]);
  for (const std::uint8_t b : payload) reply.push_back(b);
  reply.push_back(p::kCommandTerminator);
  return reply;
}

std::uint8_t GateByte(bool running) { return running ? p::kGateStart : p::kGateStop; }

Bytes PulseModeReply(p::CommandLetters command, const p::PulseMode& m) {
  return Reply(command, {p::BuildControlByte(m.countingOn != 0, m.countPeriod, m.chatterCode),
                         p::BuildFilterByte(m.chatterCode)});
}

}  // namespace

std::optional<Bytes> HandleRequest(SimDevice& device, const Bytes& frame,
                                   SimClock::time_point now) {
  if (frame.size() < 3 || frame.back() != p::kCommandTerminator) return std::nullopt;
  const p::CommandLetters letters = LettersOf(frame);
  const auto shape = std::find_if(std::begin(kCommands), std::end(kCommands),
                                  [&](const CommandShape& c) { return c.letters == letters; });
  if (shape == std::end(kCommands) || frame.size() != 3 + shape->parameterCount)
    return std::nullopt;
  const std::uint8_t* param = frame.data() + 2;
  for (std::size_t i = 0; i < shape->parameterCount; ++i)
    if (!p::IsParameterByte(param[i])) return std::nullopt;

  if (letters == p::kIdentify) {
    const p::ModelBytes model = p::EncodeModelBytes(device.modelIndex());
    const std::uint8_t unit = p::EncodeUnitByte(device.unitId());
    if (model.hasExtended) return Reply(letters, {unit, model.model, model.extended});
    return Reply(letters, {unit, model.model});
  }
  if (letters == p::kReadPulseMode) return PulseModeReply(letters, device.pulseMode());
  if (letters == p::kReadGate) return Reply(letters, {GateByte(device.gateRunning())});
  if (letters == p::kWritePulseMode) {
    // Bit 4 of the control byte and of the filter byte is always clear.
    if ((param[0] & 0x10) != 0 || (param[1] & 0x10) != 0) return std::nullopt;
    const p::PulseMode mode = p::DecodePulseMode(param[0], param[1]);
    if (!IsChatterCode(mode.chatterCode)) return std::nullopt;
    device.SetPulseMode(mode, now);
    return PulseModeReply(letters, device.pulseMode());
  }
  if (letters == p::kWriteGate) {
    if (param[0] != p::kGateStart && param[0] != p::kGateStop) return std::nullopt;
    device.SetGate(param[0] == p::kGateStart, now);
    return Reply(letters, {GateByte(device.gateRunning())});
  }

  // The rest address one input.
  const std::optional<int> input = SelectedInput(device, param[0]);
  if (!input) return std::nullopt;
  if (letters == p::kReadInputMode) {
    const p::InputMode m = device.inputMode(*input);
    return Reply(letters, {param[0], p::EncodeInputMode(m.enabled, m.edge)});
  }
  if (letters == p::kWriteInputMode) {
    // 0x20 to 0x23: bits 1 and 0 carry the setting, higher bits must be clear.
    if (param[1] > 0x23) return std::nullopt;
    device.SetInputMode(*input, p::DecodeInputMode(param[1]), now);
    const p::InputMode m = device.inputMode(*input);
    return Reply(letters, {param[0], p::EncodeInputMode(m.enabled, m.edge)});
  }
  // Read counter.
  const std::string text = p::FormatCounterText(device.ReadCounter(*input, now));
  Bytes reply = Reply(letters, {param[0]});
  reply.insert(reply.end() - 1, text.begin(), text.end());
  return reply;
}

}  // namespace kestrel::sim
