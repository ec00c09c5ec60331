#pragma once
// Byte layouts of the two-letter command protocol, shared by the tool and the
// device simulator so that both sides speak from one definition.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/DeviceState.h"

namespace kestrel::protocol {

inline constexpr std::uint8_t kCommandTerminator = 0xC8;
// A reply echoes the two command letters plus 32 (upper case -> lower case).
inline constexpr std::uint8_t kEchoOffset = 32;

using CommandLetters = std::array<std::uint8_t, 2>;
inline constexpr CommandLetters kIdentify{'M', 'I'};
inline constexpr CommandLetters kReadPulseMode{'P', 'J'};
inline constexpr CommandLetters kReadGate{'P', 'P'};
inline constexpr CommandLetters kReadInputMode{'P', 'H'};
inline constexpr CommandLetters kWriteInputMode{'P', 'C'};
inline constexpr CommandLetters kReadCounter{'P', 'G'};
inline constexpr CommandLetters kWritePulseMode{'P', 'L'};
inline constexpr CommandLetters kWriteGate{'P', 'S'};

inline constexpr CommandLetters EchoOf(CommandLetters c) {
  return {static_cast<std::uint8_t>(c[0] + kEchoOffset),
          static_cast<std::uint8_t>(c[1] + kEchoOffset)};
}

// Every parameter byte has bit 5 set and bits 7 and 6 clear (0x20..0x3F).
inline constexpr bool IsParameterByte(std::uint8_t b) { return (b & 0xE0) == 0x20; }

inline constexpr std::uint8_t InputSelector(int input) {
  return static_cast<std::uint8_t>(0x20 + (input & 0x07));
}
inline constexpr int InputFromSelector(std::uint8_t selector) { return selector & 0x07; }

// InputModeByte: 0x20 disabled, 0x21 enabled RISE, 0x22 enabled FALL.
inline constexpr std::uint8_t kInputDisabled = 0x20;
inline constexpr std::uint8_t kInputRise = 0x21;
inline constexpr std::uint8_t kInputFall = 0x22;

inline constexpr std::uint8_t EncodeInputMode(std::int32_t enabled, std::int32_t edge) {
  if (enabled == 0) return kInputDisabled;
  return edge == Edge::Rise ? kInputRise : kInputFall;
}
struct InputMode {
  std::int32_t enabled;
  std::int32_t edge;
};
// Any nonzero low two bits mean enabled; bit 1 alone gives the edge, so 0x23
// reads as enabled, FALL.
inline constexpr InputMode DecodeInputMode(std::uint8_t b) {
  return {(b & 0x03) != 0 ? 1 : 0, (b >> 1) & 1};
}

// ControlByte: bit 3 counting on, bits 2-1 count period, bit 0 bit 4 of the
// chatter code. FilterByte: 0x20 + low four bits of the chatter code.
inline constexpr std::uint8_t BuildControlByte(bool counting, std::int32_t countPeriod,
                                               std::int32_t chatterCode) {
  return static_cast<std::uint8_t>(0x20 | (counting ? 0x08 : 0x00) | ((countPeriod << 1) & 0xFF) |
                                   ((chatterCode & 0x10) != 0 ? 1 : 0));
}
inline constexpr std::uint8_t BuildFilterByte(std::int32_t chatterCode) {
  return static_cast<std::uint8_t>(0x20 + (chatterCode & 0x0F));
}
struct PulseMode {
  std::int32_t countingOn;
  std::int32_t countPeriod;
  std::int32_t chatterCode;
};
inline constexpr PulseMode DecodePulseMode(std::uint8_t control, std::uint8_t filter) {
  return {(control >> 3) & 1, (control >> 1) & 3, (filter & 0x0F) | ((control & 1) << 4)};
}

// GateByte of PS, and bit 3 of the PP reply.
inline constexpr std::uint8_t kGateStart = 0x28;
inline constexpr std::uint8_t kGateStop = 0x20;
inline constexpr std::int32_t GateRunning(std::uint8_t b) { return (b >> 3) & 1; }

// MI reply: unit byte, model byte and, when the model byte's low nibble is all
// ones, an extended model byte that selects indexes 16..31.
inline constexpr bool IsExtendedModelByte(std::uint8_t modelByte) {
  return (modelByte & 0x0F) == 0x0F;
}
inline constexpr std::int32_t UnitFromByte(std::uint8_t unitByte) { return 15 - (unitByte & 0x0F); }
inline constexpr std::int32_t ModelFromBytes(std::uint8_t modelByte, std::uint8_t extendedByte) {
  return IsExtendedModelByte(modelByte) ? (0x10 | (extendedByte & 0x0F)) : (modelByte & 0x0F);
}
// Family of an extended model index: 5 from 24 on, else 4.
inline constexpr std::int32_t FamilyOfExtendedModel(std::int32_t modelIndex) {
  return modelIndex >= 24 ? 5 : 4;
}
inline constexpr std::uint8_t EncodeUnitByte(std::int32_t unitId) {
  return static_cast<std::uint8_t>(0x30 | ((15 - unitId) & 0x0F));
}
// Model byte and extended model byte for a model index; indexes below 16 need
// no extended byte (index 15 cannot be expressed: its nibble means "extended").
struct ModelBytes {
  std::uint8_t model;
  std::uint8_t extended;
  bool hasExtended;
};
inline constexpr ModelBytes EncodeModelBytes(std::int32_t modelIndex) {
  if (modelIndex >= 16)
    return {0x3F, static_cast<std::uint8_t>(0x30 | (modelIndex & 0x0F)), true};
  return {static_cast<std::uint8_t>(0x30 | (modelIndex & 0x0F)), 0, false};
}

// Counter text of the PG reply: eight characters of hexadecimal. Reads like the
// C library's unsigned conversion in base 16 on a 32-bit unsigned long: leading
// white space, an optional sign, an optional 0x prefix, digits up to the first
// other character; no digits give 0; a minus sign negates modulo 2^32.
std::uint32_t ParseCounterText(const std::uint8_t* text, std::size_t length);
// Eight upper-case hexadecimal digits.
std::string FormatCounterText(std::uint32_t value);

// Offsets of the reply fields that the tool reads (offset 0 = first echo letter).
inline constexpr std::size_t kMiUnitOffset = 2;
inline constexpr std::size_t kMiModelOffset = 3;
inline constexpr std::size_t kMiExtendedOffset = 4;
inline constexpr std::size_t kPjControlOffset = 2;
inline constexpr std::size_t kPjFilterOffset = 3;
inline constexpr std::size_t kPpGateOffset = 2;
inline constexpr std::size_t kPhModeOffset = 3;
inline constexpr std::size_t kPgCounterOffset = 3;
inline constexpr std::size_t kPgCounterLength = 8;

// The device's TCP command port, and the same as the operator types it.
inline constexpr std::uint16_t kCommandPort = 10003;
inline constexpr char kCommandPortText[] = "10003";
namespace detail {
constexpr int DecimalValue(const char* text) {
  int value = 0;
  for (; *text != '\0'; ++text) value = value * 10 + (*text - '0');
  return value;
}
}  // namespace detail
static_assert(detail::DecimalValue(kCommandPortText) == kCommandPort);

// Configuration port: the dump query and the end marker of its answer.
inline constexpr std::uint16_t kConfigPort = 9998;
inline constexpr char kConfigDumpQuery[] = "DUMP\nEND\n";  // 9 bytes, no NUL sent
inline constexpr std::size_t kConfigDumpQueryLength = 9;
inline constexpr char kConfigEndMarker[] = "END\r\n\r\n";   // 7 bytes

// Discovery probe on UDP.
inline constexpr std::uint16_t kProbePort = 30718;
inline constexpr std::array<std::uint8_t, 4> kProbeQuery{0x00, 0x00, 0x00, 0xF6};
inline constexpr std::array<std::uint8_t, 2> kProbeSecondDatagram{0x4C, 0x4E};
inline constexpr std::array<std::uint8_t, 4> kFollowUpQuery{0x00, 0x00, 0x00, 0xF8};
inline constexpr std::array<std::uint8_t, 4> kTextQuery{0x00, 0x00, 0x00, 0xF4};
inline constexpr std::size_t kProbeReplyBuffer = 30;
inline constexpr std::size_t kFollowUpReplyBuffer = 124;
inline constexpr std::size_t kTextReplyBuffer = 33;
inline constexpr std::size_t kProductCodeOffset = 8;
inline constexpr std::size_t kTextFieldOffset = 16;

}  // namespace kestrel::protocol
