#include "collector/Failure.h"

#include <utility>

namespace kestrel::collector {

std::string MessageKeeper::Take() {
  std::string text = std::move(last_);
  last_.clear();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

FailureCause TakeFailure(DeviceState& state) {
  FailureCause cause = std::exchange(state.lastFailure, FailureCause{});
  if (cause.kind == FailureKind::None) cause.kind = FailureKind::Closed;
  return cause;
}

}  // namespace kestrel::collector
