#pragma once
// The simulated device's settings and counters. No sockets and no clock of its
// own: every call that depends on time is given "now", so tests can move time
// by hand.
//
// Each input sees a square wave of its configured rate whose phase starts at
// power-up; a counted edge is a rising or a falling one. An enabled input
// counts while counting is on and, in the START-STOP period, only while the
// gate runs. Counters are unsigned 32-bit, wrap, and are never cleared.
//
// The value that a counter read returns: in START-STOP, the running counter;
// in a timed period (0.1 s, 1 s, 10 s), the counter as it stood at the last
// period boundary (boundaries are multiples of the period since power-up), at
// the last pulse-mode write or at the last gate stop, whichever came latest;
// so the final count can be read at once after counting is switched off.
#include <array>
#include <chrono>
#include <cstdint>

#include "common/Protocol.h"
#include "sim/SimConfig.h"

namespace kestrel::sim {

using SimClock = std::chrono::steady_clock;

class SimDevice {
 public:
  SimDevice(const SimConfig& config, SimClock::time_point powerUp);

  std::int32_t modelIndex() const { return modelIndex_; }
  std::int32_t unitId() const { return unitId_; }
  // Inputs the model has; commands for other inputs are not answered.
  std::int32_t inputCount() const;

  protocol::PulseMode pulseMode() const;
  bool gateRunning() const { return gateRunning_; }
  protocol::InputMode inputMode(int input) const;

  void SetPulseMode(const protocol::PulseMode& mode, SimClock::time_point now);
  void SetGate(bool running, SimClock::time_point now);
  void SetInputMode(int input, const protocol::InputMode& mode, SimClock::time_point now);
  std::uint32_t ReadCounter(int input, SimClock::time_point now);

 private:
  struct Input {
    bool enabled;
    std::int32_t edge;
    std::uint64_t rateMilliHz;
    std::uint64_t phase = 0;  // position in the wave, 0 .. kCycle-1
    std::uint32_t running;    // counts every edge as it happens
    std::uint32_t latched;    // what a read returns in a timed period
  };

  bool Counting(const Input& in) const;
  // Moves the waves and counters to `now`, latching at the last period
  // boundary passed on the way.
  void AdvanceTo(SimClock::time_point now);
  void Step(std::int64_t toUs);
  void LatchAll();

  SimClock::time_point powerUp_;
  std::int64_t nowUs_ = 0;  // microseconds since power-up that the state stands at
  std::int32_t modelIndex_;
  std::int32_t unitId_;
  bool countingOn_;
  std::int32_t countPeriod_;
  std::int32_t chatterCode_;
  bool gateRunning_;
  std::array<Input, kMaxInputs> inputs_;
};

}  // namespace kestrel::sim
