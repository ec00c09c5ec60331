#include "collector/ResourceLimits.h"

#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace kestrel::collector {

namespace {

std::optional<std::uint64_t> Finite(rlim_t value) {
  if (value == RLIM_INFINITY) return std::nullopt;
  return static_cast<std::uint64_t>(value);
}

std::optional<std::string> FileText(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// "max" or a number, with its line end.
std::optional<std::uint64_t> PidsMax(const std::string& text) {
  try {
    return std::stoull(text);
  } catch (const std::exception&) {
    return std::nullopt;  // "max", or unreadable
  }
}

// Devices that fit in `limit` when each needs `each` beyond `fixed`.
std::uint64_t Fit(std::optional<std::uint64_t> limit, std::uint64_t fixed, std::uint64_t each) {
  if (!limit) return UINT64_MAX;
  return *limit > fixed ? (*limit - fixed) / each : 0;
}

// Devices that fit in a thread limit: any number once the fixed threads do.
std::uint64_t FitThreads(std::optional<std::uint64_t> limit) {
  return !limit || *limit >= kFixedThreads ? UINT64_MAX : 0;
}

}  // namespace

ProcessLimits ReadProcessLimits() {
  ProcessLimits limits;
  rlimit r{};
  if (getrlimit(RLIMIT_NOFILE, &r) == 0) {
    limits.openFiles = Finite(r.rlim_cur);
    limits.openFilesMax = Finite(r.rlim_max);
  }
  if (getrlimit(RLIMIT_NPROC, &r) == 0) limits.tasks = Finite(r.rlim_cur);
  if (const auto self = FileText("/proc/self/cgroup"))
    if (const auto dir = CgroupDirectory(*self))
      if (const auto max = FileText(*dir + "/pids.max")) limits.cgroupTasks = PidsMax(*max);
  return limits;
}

std::optional<std::string> CgroupDirectory(const std::string& procSelfCgroup) {
  std::istringstream lines(procSelfCgroup);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("0::", 0) != 0) continue;
    const std::string path = line.substr(3);
    if (path.empty() || path[0] != '/' || path.find("..") != std::string::npos) return std::nullopt;
    return "/sys/fs/cgroup" + (path == "/" ? std::string() : path);
  }
  return std::nullopt;
}

FleetNeeds NeedsOf(std::uint64_t devices, bool csv) {
  const std::uint64_t perDevice = csv ? kDescriptorsPerCsvDevice : kDescriptorsPerDevice;
  return FleetNeeds{kFixedDescriptors + devices * perDevice, kFixedThreads};
}

std::uint64_t DevicesWithin(const ProcessLimits& limits, bool csv) {
  const std::uint64_t perDevice = csv ? kDescriptorsPerCsvDevice : kDescriptorsPerDevice;
  return std::min({Fit(limits.openFiles, kFixedDescriptors, perDevice),
                   FitThreads(limits.tasks), FitThreads(limits.cgroupTasks)});
}

std::optional<std::string> LimitProblem(std::uint64_t devices, bool csv, const ProcessLimits& limits) {
  const FleetNeeds needs = NeedsOf(devices, csv);
  const std::string fleet = std::to_string(devices) + " devices need ";
  if (limits.openFiles && *limits.openFiles < needs.descriptors)
    return fleet + std::to_string(needs.descriptors) + " open files, the limit is " + std::to_string(*limits.openFiles) +
           ": raise it to at least " + std::to_string(needs.descriptors) + " (ulimit -n, or LimitNOFILE= in the service unit)";
  if (limits.tasks && *limits.tasks < needs.threads)
    return fleet + std::to_string(needs.threads) + " threads, the user's process limit is " + std::to_string(*limits.tasks) +
           ": raise it to at least " + std::to_string(needs.threads) + " (ulimit -u, or LimitNPROC= in the service unit)";
  if (limits.cgroupTasks && *limits.cgroupTasks < needs.threads)
    return fleet + std::to_string(needs.threads) + " threads, the cgroup's pids.max is " + std::to_string(*limits.cgroupTasks) +
           ": raise it to at least " + std::to_string(needs.threads) + " (TasksMax= in the service unit)";
  return std::nullopt;
}

void RaiseOpenFiles(ProcessLimits& limits) {
  if (!limits.openFiles || limits.openFiles == limits.openFilesMax) return;
  rlimit r{};
  if (getrlimit(RLIMIT_NOFILE, &r) != 0) return;
  r.rlim_cur = r.rlim_max;
  if (setrlimit(RLIMIT_NOFILE, &r) == 0) limits.openFiles = limits.openFilesMax;
}

}  // namespace kestrel::collector
