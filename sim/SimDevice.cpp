#include "sim/SimDevice.h"

#include <algorithm>

#include "common/ModelTable.h"

namespace kestrel::sim {

namespace {

// One full wave in units of microseconds x millihertz (1 us at 1 mHz is 1e-9
// of a wave), so that phase moves by whole numbers.
constexpr std::uint64_t kCycle = 1'000'000'000;
constexpr std::uint64_t kHalfCycle = kCycle / 2;
// Longest step that keeps microseconds x millihertz inside 64 bits.
constexpr std::int64_t kMaxStepUs = static_cast<std::int64_t>(UINT64_MAX / 2 / kMaxRateMilliHz);

// Period code -> length in microseconds; START-STOP has none.
constexpr std::array<std::int64_t, 4> kPeriodUs{0, 100'000, 1'000'000, 10'000'000};

}  // namespace

SimDevice::SimDevice(const SimConfig& config, SimClock::time_point powerUp)
    : powerUp_(powerUp),
      modelIndex_(config.modelIndex),
      unitId_(config.unitId),
      countingOn_(config.countingOn),
      countPeriod_(config.countPeriod & 3),
      chatterCode_(config.chatterCode),
      gateRunning_(config.gateRunning) {
  for (std::size_t i = 0; i < inputs_.size(); ++i) {
    const InputSetup& s = config.inputs[i];
    inputs_[i] = Input{s.enabled, s.edge, std::min(s.rateMilliHz, kMaxRateMilliHz), 0,
                       s.startCount, s.startCount};
  }
}

std::int32_t SimDevice::inputCount() const { return ModelRowAt(modelIndex_).inputCount; }

protocol::PulseMode SimDevice::pulseMode() const {
  return {countingOn_ ? 1 : 0, countPeriod_, chatterCode_};
}

protocol::InputMode SimDevice::inputMode(int input) const {
  const Input& in = inputs_[static_cast<std::size_t>(input) & 7];
  return {in.enabled ? 1 : 0, in.enabled ? in.edge : 0};
}

bool SimDevice::Counting(const Input& in) const {
  return countingOn_ && in.enabled && (countPeriod_ != 0 || gateRunning_);
}

void SimDevice::Step(std::int64_t toUs) {
  while (nowUs_ < toUs) {
    const std::int64_t stepUs = std::min(toUs - nowUs_, kMaxStepUs);
    for (Input& in : inputs_) {
      const std::uint64_t end = in.phase + static_cast<std::uint64_t>(stepUs) * in.rateMilliHz;
      const std::uint64_t rising = end / kCycle;
      const std::uint64_t falling = (end + kHalfCycle) / kCycle - (in.phase + kHalfCycle) / kCycle;
      if (Counting(in))
        in.running += static_cast<std::uint32_t>(in.edge == Edge::Rise ? rising : falling);
      in.phase = end % kCycle;
    }
    nowUs_ += stepUs;
  }
}

void SimDevice::LatchAll() {
  for (Input& in : inputs_) in.latched = in.running;
}

void SimDevice::AdvanceTo(SimClock::time_point now) {
  const std::int64_t toUs =
      std::chrono::duration_cast<std::chrono::microseconds>(now - powerUp_).count();
  if (toUs <= nowUs_) return;
  const std::int64_t periodUs = kPeriodUs[static_cast<std::size_t>(countPeriod_)];
  if (periodUs != 0) {
    const std::int64_t lastBoundary = toUs / periodUs * periodUs;
    if (lastBoundary > nowUs_) {
      Step(lastBoundary);
      LatchAll();
    }
  }
  Step(toUs);
}

void SimDevice::SetPulseMode(const protocol::PulseMode& mode, SimClock::time_point now) {
  AdvanceTo(now);
  countingOn_ = mode.countingOn != 0;
  countPeriod_ = mode.countPeriod & 3;
  chatterCode_ = mode.chatterCode;
  // A new mode starts a new measurement: what was counted so far is reported.
  LatchAll();
}

void SimDevice::SetGate(bool running, SimClock::time_point now) {
  AdvanceTo(now);
  gateRunning_ = running;
  if (!running) LatchAll();
}

void SimDevice::SetInputMode(int input, const protocol::InputMode& mode,
                             SimClock::time_point now) {
  AdvanceTo(now);
  Input& in = inputs_[static_cast<std::size_t>(input) & 7];
  in.enabled = mode.enabled != 0;
  in.edge = mode.edge;
}

std::uint32_t SimDevice::ReadCounter(int input, SimClock::time_point now) {
  AdvanceTo(now);
  const Input& in = inputs_[static_cast<std::size_t>(input) & 7];
  return countPeriod_ == 0 ? in.running : in.latched;
}

}  // namespace kestrel::sim
