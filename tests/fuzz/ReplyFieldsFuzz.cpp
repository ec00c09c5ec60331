// Every reply-field decoder of the command set, the counter conversion among
// them, over arbitrary replies. Input: one byte that picks the command whose
// reply is collected, then the bytes as the device sends them. Each decoder
// also reads the raw input as a reply of its own.
#include <array>
#include <cstdlib>
#include <cstring>

#include "common/Protocol.h"
#include "device/ReplyFields.h"
#include "net/ReplyCollector.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace kestrel;
using enum net::ReplyFraming;

// The conversion the counter text must agree with: the C library's, on the
// eight characters made into a string, taken modulo 2^32. Eight characters
// cannot exceed 32 bits, so no overflow rule comes into play.
std::uint32_t LibraryConversion(const std::uint8_t* text) {
  char copy[protocol::kPgCounterLength + 1] = {};
  std::memcpy(copy, text, protocol::kPgCounterLength);
  return static_cast<std::uint32_t>(std::strtoull(copy, nullptr, 16));
}

void DecodeAll(const std::uint8_t* reply, std::size_t length) {
  const auto holds = [length](std::size_t offset) { return offset + 1 < length; };

  if (const auto id = device::DecodeIdentifyReply(reply, length)) {
    FUZZ_CHECK(holds(protocol::kMiModelOffset));
    FUZZ_CHECK(id->unitId >= 0 && id->unitId <= 15);
    FUZZ_CHECK(id->modelIndex >= 0 && id->modelIndex <= 31);
    const bool extended = protocol::IsExtendedModelByte(reply[protocol::kMiModelOffset]);
    FUZZ_CHECK(id->protocolFamily.has_value() == extended);
    if (extended) {
      FUZZ_CHECK(holds(protocol::kMiExtendedOffset) && id->modelIndex >= 16);
      FUZZ_CHECK(*id->protocolFamily == (id->modelIndex >= 24 ? 5 : 4));
    } else {
      FUZZ_CHECK(id->modelIndex < 15);
    }
  } else {
    FUZZ_CHECK(!holds(protocol::kMiModelOffset) || !holds(protocol::kMiExtendedOffset));
  }

  if (const auto mode = device::DecodePulseModeReply(reply, length)) {
    FUZZ_CHECK(mode->countingOn == 0 || mode->countingOn == 1);
    FUZZ_CHECK(mode->countPeriod >= 0 && mode->countPeriod <= 3);
    FUZZ_CHECK(mode->chatterCode >= 0 && mode->chatterCode <= 31);
    // What is read back is what would be written for it.
    const std::uint8_t control = protocol::BuildControlByte(mode->countingOn != 0, mode->countPeriod,
                                                            mode->chatterCode);
    const auto again = protocol::DecodePulseMode(control, protocol::BuildFilterByte(mode->chatterCode));
    FUZZ_CHECK(again.countingOn == mode->countingOn && again.countPeriod == mode->countPeriod &&
               again.chatterCode == mode->chatterCode);
    FUZZ_CHECK(protocol::IsParameterByte(control));
  } else {
    FUZZ_CHECK(!holds(protocol::kPjFilterOffset));
  }

  if (const auto running = device::DecodeGateReply(reply, length)) {
    FUZZ_CHECK(*running == 0 || *running == 1);
  } else {
    FUZZ_CHECK(!holds(protocol::kPpGateOffset));
  }

  if (const auto input = device::DecodeInputModeReply(reply, length)) {
    FUZZ_CHECK(input->enabled == 0 || input->enabled == 1);
    FUZZ_CHECK(input->edge == 0 || input->edge == 1);
    if (input->edge == 1) FUZZ_CHECK(input->enabled == 1);
  } else {
    FUZZ_CHECK(!holds(protocol::kPhModeOffset));
  }

  const std::size_t lastCounterChar = protocol::kPgCounterOffset + protocol::kPgCounterLength - 1;
  if (const auto count = device::DecodeCounterReply(reply, length)) {
    FUZZ_CHECK(*count == LibraryConversion(reply + protocol::kPgCounterOffset));
  } else {
    FUZZ_CHECK(!holds(lastCounterChar));
  }
}

constexpr std::array<protocol::CommandLetters, 5> kReadCommands{
    protocol::kIdentify, protocol::kReadPulseMode, protocol::kReadGate, protocol::kReadInputMode,
    protocol::kReadCounter};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  DecodeAll(data + 1, size - 1);

  // The realistic road: the reply as the channel collects it.
  const protocol::CommandLetters letters = kReadCommands[data[0] % kReadCommands.size()];
  const std::uint8_t request[3] = {letters[0], letters[1], protocol::kCommandTerminator};
  net::ReplyBuffer buffer;
  buffer.fill(0xA5);
  net::ReplyCollector collector(UntilTerminator, net::EchoOfRequest(request, sizeof request),
                                buffer);
  for (std::size_t i = 1; i < size; ++i) {
    const net::ReplyCollector::Step step = collector.Feed(data[i]);
    if (step == net::ReplyCollector::Step::Complete) DecodeAll(buffer.data(), collector.length());
    if (step != net::ReplyCollector::Step::NeedMore) break;
  }
  return 0;
}
