#include "sim/FaultPlan.h"

namespace kestrel::sim {

bool FaultPlan::Strike(FaultKind kind, protocol::CommandLetters command) {
  FaultSetting& f = faults_[static_cast<std::size_t>(kind)];
  if (!f.on) return false;
  const bool anyCommand = f.command[0] == 0 && f.command[1] == 0;
  if (!anyCommand && f.command != command) return false;
  if (f.times != 0 && --f.times == 0) f.on = false;
  return true;
}

}  // namespace kestrel::sim
