#pragma once
// Whether a fleet of simulated devices fits in the process's descriptor limit.
// Every device keeps its sockets open all the time, and each client
// connection takes one more, so a large fleet is checked at start and refused
// with the figures rather than met later as failed binds and refused clients.
#include <cstdint>
#include <optional>
#include <string>

namespace kestrel::sim {

// Standard streams, the event loop's own descriptors, the signal descriptor,
// with room to spare.
inline constexpr std::uint64_t kFixedDescriptors = 16;

struct DescriptorNeeds {
  std::uint64_t idle = 0;       // every device's sockets
  std::uint64_t polled = 0;     // and one client connection per device
};
DescriptorNeeds NeedsOf(std::uint64_t devices, std::uint64_t idlePerDevice);

// Raises the soft RLIMIT_NOFILE to the hard one; returns the limit now in
// force (nothing when unlimited or unreadable).
std::optional<std::uint64_t> RaiseOpenFileLimit();

// A refusal when even the idle sockets do not fit in `limit`; a warning when
// one connection per device would not; nothing when they fit.
struct BudgetVerdict {
  bool refuse = false;
  std::string message;
};
std::optional<BudgetVerdict> CheckBudget(std::uint64_t devices, std::uint64_t idlePerDevice,
                                         std::optional<std::uint64_t> limit);

}  // namespace kestrel::sim
