#pragma once
// Everything the simulated device is told at start: where it listens, what it
// says it is, its settings at power-up, its input signals and the faults it
// injects. Filled by the option parser, read by the server and the device.
#include <array>
#include <cstdint>
#include <string>

#include "common/DeviceState.h"
#include "common/Protocol.h"

namespace kestrel::sim {

// The signal on one digital input and how the input is set up at power-up.
struct InputSetup {
  bool enabled = true;
  std::int32_t edge = 0;            // 0 RISE, 1 FALL
  std::uint64_t rateMilliHz = 0;    // pulses per second x 1000
  std::uint32_t startCount = 0;     // counter value at power-up
};

// Highest pulse rate an input accepts; keeps the edge arithmetic in 64 bits.
inline constexpr std::uint64_t kMaxRateMilliHz = 100'000'000;  // 100 000 pulses/s

enum class FaultKind : int {
  ReplyDelay,          // value: milliseconds
  NoReply,             // command: letters, or none for every command
  StrayFrame,
  Greeting,
  OneByteSegments,
  EndlessReply,        // command as for NoReply
  CloseAfter,          // value: commands per connection
  ConfigRefuse,
  ConfigNoEnd,
  DiscoverySilent,
  DiscoveryOtherPort,
  DiscoveryOversize,
};
inline constexpr int kFaultKindCount = 12;

struct FaultSetting {
  bool on = false;
  // 0: the fault strikes every time; N: it strikes N times, then clears.
  std::uint32_t times = 0;
  std::uint32_t value = 0;
  // {0, 0} matches every command.
  protocol::CommandLetters command{0, 0};
};

struct SimConfig {
  std::string bindAddress = "127.0.0.1";
  std::uint16_t commandPort = protocol::kCommandPort;
  std::uint16_t configPort = protocol::kConfigPort;
  std::uint16_t discoveryPort = protocol::kProbePort;

  std::int32_t modelIndex = 21;  // eight inputs, so a demo shows all of them
  std::int32_t unitId = 0;
  std::array<char, 2> productCode{'X', '6'};
  std::string text = "KESTREL-SIM GC";  // text field of the F4 answer, at most 17 bytes
  std::string modeValue = "0";          // value of MODE on the configuration port

  bool countingOn = true;
  std::int32_t countPeriod = CountPeriod::TenthSecond;
  std::int32_t chatterCode = 0;
  bool gateRunning = false;
  std::array<InputSetup, kMaxInputs> inputs = DefaultInputs();

  bool verbose = false;
  std::array<FaultSetting, kFaultKindCount> faults{};

  FaultSetting& fault(FaultKind k) { return faults[static_cast<std::size_t>(k)]; }
  const FaultSetting& fault(FaultKind k) const { return faults[static_cast<std::size_t>(k)]; }

  // Distinct rates, so that the eight counters visibly run apart.
  static std::array<InputSetup, kMaxInputs> DefaultInputs() {
    constexpr std::array<std::uint64_t, kMaxInputs> rates{1, 2, 3, 5, 8, 13, 21, 34};
    std::array<InputSetup, kMaxInputs> inputs{};
    for (std::size_t i = 0; i < inputs.size(); ++i) inputs[i].rateMilliHz = rates[i] * 1000;
    return inputs;
  }
};

}  // namespace kestrel::sim
