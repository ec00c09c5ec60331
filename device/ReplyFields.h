#pragma once
// The fields that the command set reads from the device's replies, decoded
// from the reply bytes alone. A reply is untrusted input: a field is taken
// only when it lies before the terminator, which is always the reply's last
// byte, so no value ever comes from bytes the device did not send.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/Protocol.h"

namespace kestrel::device {

// MI: unit number, model index and, for an extended model byte, the family.
struct Identity {
  std::int32_t unitId = 0;
  std::int32_t modelIndex = 0;
  std::optional<std::int32_t> protocolFamily;  // only for extended model bytes
};

// Each takes the whole reply from its first echo letter, `length` bytes with
// the terminator last; nullopt when the reply ends before a field it needs.
std::optional<Identity> DecodeIdentifyReply(const std::uint8_t* reply, std::size_t length);
std::optional<protocol::PulseMode> DecodePulseModeReply(const std::uint8_t* reply,
                                                        std::size_t length);
// PP: 1 when the START-STOP gate runs.
std::optional<std::int32_t> DecodeGateReply(const std::uint8_t* reply, std::size_t length);
std::optional<protocol::InputMode> DecodeInputModeReply(const std::uint8_t* reply,
                                                        std::size_t length);
// PG: the counter from its eight hexadecimal characters.
std::optional<std::uint32_t> DecodeCounterReply(const std::uint8_t* reply, std::size_t length);

}  // namespace kestrel::device
