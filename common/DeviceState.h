#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "common/FailureCause.h"

namespace kestrel {

// Values of DeviceState::protocolFamily.
namespace ProtocolFamily {
inline constexpr std::int32_t Unset = 0;      // process start, replaced before any use
inline constexpr std::int32_t Unknown = -1;   // window initialisation
inline constexpr std::int32_t ProbedOther = 1;  // set by the probe follow-up; treated like Unknown
inline constexpr std::int32_t Extended = 4;   // model indexes 16..23
inline constexpr std::int32_t ConfigPort = 5; // model indexes 24..31: mode check on the configuration port
}  // namespace ProtocolFamily

// Values of DeviceState::countPeriod. Only START-STOP counts between the
// gate's start and stop; the others count over a fixed time.
namespace CountPeriod {
inline constexpr std::int32_t StartStop = 0;
inline constexpr std::int32_t TenthSecond = 1;
inline constexpr std::int32_t OneSecond = 2;
inline constexpr std::int32_t TenSeconds = 3;
}  // namespace CountPeriod

// Values of InputConfig::edge.
namespace Edge {
inline constexpr std::int32_t Rise = 0;
inline constexpr std::int32_t Fall = 1;
}  // namespace Edge

// Values of DeviceState::probeKind, from the product code of the probe reply
// ("_L", "_W", "_B", "_D"; every other code is Plain).
namespace ProbeKind {
inline constexpr std::int32_t Plain = 0;
inline constexpr std::int32_t L = 3;
inline constexpr std::int32_t W = 5;
inline constexpr std::int32_t B = 7;
inline constexpr std::int32_t D = 8;
}  // namespace ProbeKind

// The 16-byte IPv4 socket address record (family, port, address, padding),
// port and address in network byte order, as the socket interface gives it.
struct SocketAddressV4 {
  std::uint16_t family = 0;
  std::uint16_t port = 0;     // network byte order
  std::uint32_t address = 0;  // network byte order
  std::array<std::uint8_t, 8> zero{};
};
static_assert(sizeof(SocketAddressV4) == 16);

struct InputConfig {
  std::int32_t enabled = 0;  // 1: the input takes part in counting
  std::int32_t edge = Edge::Rise;
  std::uint32_t count = 0;   // last counter value read
};

inline constexpr int kMaxInputs = 8;

// Everything known about the connected (or last connected) device. The
// application owns exactly one; every operation takes it by reference.
struct DeviceState {
  SocketAddressV4 responderAddress{};
  std::array<char, 2> productCode{};
  std::int32_t probeKind = ProbeKind::Plain;
  std::uint32_t localAddress = 0;  // network byte order
  std::int32_t autoUpdateActive = 0;
  std::string deviceAddress;
  std::int32_t port = 0;
  std::int32_t modelIndex = 0;
  std::int32_t unitId = 0;
  std::int32_t countingOn = 0;
  std::int32_t startStopRunning = 0;
  std::int32_t countPeriod = CountPeriod::StartStop;
  std::int32_t chatterCode = 0;  // 0 off, else 4..20 ms
  std::int32_t alertInput = 0;
  std::int32_t alertValue = 0;
  std::int32_t alertCondition = 0;
  std::array<InputConfig, kMaxInputs> inputs{};
  std::int32_t protocolFamily = ProtocolFamily::Unset;
  std::string lastError;
  // Set with lastError, for programs that act on the kind of failure.
  FailureCause lastFailure;
};

}  // namespace kestrel
