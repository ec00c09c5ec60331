#pragma once
// The faults the simulator injects while it runs, each armed from the command
// line and, when given a count, cleared after that many strikes.
#include <array>
#include <cstdint>

#include "sim/SimConfig.h"

namespace kestrel::sim {

class FaultPlan {
 public:
  explicit FaultPlan(const std::array<FaultSetting, kFaultKindCount>& faults) : faults_(faults) {}

  // True when the fault is armed (and, for per-command faults, names this
  // command or any); a counted fault uses up one strike and clears itself
  // after its last one.
  bool Strike(FaultKind kind, protocol::CommandLetters command = {0, 0});
  // Armed without using a strike.
  bool Armed(FaultKind kind) const { return setting(kind).on; }
  std::uint32_t value(FaultKind kind) const { return setting(kind).value; }

 private:
  const FaultSetting& setting(FaultKind kind) const {
    return faults_[static_cast<std::size_t>(kind)];
  }
  std::array<FaultSetting, kFaultKindCount> faults_;
};

}  // namespace kestrel::sim
