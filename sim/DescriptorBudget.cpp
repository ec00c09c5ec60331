#include "sim/DescriptorBudget.h"

#include <sys/resource.h>

namespace kestrel::sim {

DescriptorNeeds NeedsOf(std::uint64_t devices, std::uint64_t idlePerDevice) {
  const std::uint64_t idle = kFixedDescriptors + devices * idlePerDevice;
  return {idle, idle + devices};
}

std::optional<std::uint64_t> RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return std::nullopt;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
  return static_cast<std::uint64_t>(limit.rlim_cur);
}

std::optional<BudgetVerdict> CheckBudget(std::uint64_t devices, std::uint64_t idlePerDevice,
                                         std::optional<std::uint64_t> limit) {
  if (!limit) return std::nullopt;
  const DescriptorNeeds needs = NeedsOf(devices, idlePerDevice);
  const std::string figures = std::to_string(devices) + " devices need " +
                              std::to_string(needs.idle) + " descriptors for their sockets (" +
                              std::to_string(idlePerDevice) + " each) and " +
                              std::to_string(needs.polled) +
                              " with one client connection each; the hard limit is " +
                              std::to_string(*limit);
  const std::string remedy =
      ": raise the hard limit (ulimit -Hn as root, LimitNOFILE= in a unit) or split the fleet "
      "over several processes with --bind and --devices";
  if (needs.idle > *limit) return BudgetVerdict{true, figures + remedy};
  if (needs.polled > *limit)
    return BudgetVerdict{false, figures + ", so some clients will be refused" + remedy};
  return std::nullopt;
}

}  // namespace kestrel::sim
