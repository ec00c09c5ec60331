#include "device/ReplyFields.h"

namespace kestrel::device {

namespace {
bool HoldsOffset(std::size_t length, std::size_t offset) { return offset + 1 < length; }
}  // namespace

std::optional<Identity> DecodeIdentifyReply(const std::uint8_t* reply, std::size_t length) {
  if (!HoldsOffset(length, protocol::kMiModelOffset)) return std::nullopt;
  const std::uint8_t modelByte = reply[protocol::kMiModelOffset];
  const bool extended = protocol::IsExtendedModelByte(modelByte);
  // A reply that ends where the extended model byte should stand yields
  // nothing at all, not a half identity.
  if (extended && !HoldsOffset(length, protocol::kMiExtendedOffset)) return std::nullopt;
  const std::uint8_t extendedByte = extended ? reply[protocol::kMiExtendedOffset] : 0;

  Identity identity;
  identity.unitId = protocol::UnitFromByte(reply[protocol::kMiUnitOffset]);
  identity.modelIndex = protocol::ModelFromBytes(modelByte, extendedByte);
  if (extended) identity.protocolFamily = protocol::FamilyOfExtendedModel(identity.modelIndex);
  return identity;
}

std::optional<protocol::PulseMode> DecodePulseModeReply(const std::uint8_t* reply,
                                                        std::size_t length) {
  if (!HoldsOffset(length, protocol::kPjFilterOffset)) return std::nullopt;
  return protocol::DecodePulseMode(reply[protocol::kPjControlOffset],
                                   reply[protocol::kPjFilterOffset]);
}

std::optional<std::int32_t> DecodeGateReply(const std::uint8_t* reply, std::size_t length) {
  if (!HoldsOffset(length, protocol::kPpGateOffset)) return std::nullopt;
  return protocol::GateRunning(reply[protocol::kPpGateOffset]);
}

std::optional<protocol::InputMode> DecodeInputModeReply(const std::uint8_t* reply,
                                                        std::size_t length) {
  if (!HoldsOffset(length, protocol::kPhModeOffset)) return std::nullopt;
  return protocol::DecodeInputMode(reply[protocol::kPhModeOffset]);
}

std::optional<std::uint32_t> DecodeCounterReply(const std::uint8_t* reply, std::size_t length) {
  constexpr std::size_t kLast = protocol::kPgCounterOffset + protocol::kPgCounterLength - 1;
  if (!HoldsOffset(length, kLast)) return std::nullopt;
  return protocol::ParseCounterText(reply + protocol::kPgCounterOffset, protocol::kPgCounterLength);
}

}  // namespace kestrel::device
