#pragma once
// The process limits a fleet needs: one descriptor per device (two with CSV
// files: each device keeps its file open), plus a fixed allowance of
// descriptors and threads for the outputs and the event loops that poll the
// devices (their number does not grow with the fleet). Checked at start, so
// that a fleet too large for them is refused with the limit to raise, not
// met later as failed connects or a thread that cannot start.
#include <cstdint>
#include <optional>
#include <string>

namespace kestrel::collector {

// Threads of the whole process: main, the pollers' event loops (two at
// most), the JSON Lines and CSV queues, the store, the broker client, the web
// server's connections (at most 32) and its watcher, with room to spare.
inline constexpr std::uint64_t kFixedThreads = 64;
// Descriptors besides the devices': standard streams, the event loops' epoll
// and wake-up descriptors, the store, the web server's listener and
// connections, the broker, the adapter list.
inline constexpr std::uint64_t kFixedDescriptors = 96;
// A device's connection; its probe socket and its configuration-port
// connection are only ever open while the connection is closed.
inline constexpr std::uint64_t kDescriptorsPerDevice = 1;
inline constexpr std::uint64_t kDescriptorsPerCsvDevice = 2;  // and its CSV file

// The limits in force; an absent one is unlimited or could not be read.
struct ProcessLimits {
  std::optional<std::uint64_t> openFiles;     // RLIMIT_NOFILE, soft
  std::optional<std::uint64_t> openFilesMax;  // RLIMIT_NOFILE, hard
  std::optional<std::uint64_t> tasks;        // RLIMIT_NPROC, soft
  std::optional<std::uint64_t> cgroupTasks;  // pids.max of the process's own cgroup
};

ProcessLimits ReadProcessLimits();

// What `devices` devices need, by the allowances above.
struct FleetNeeds {
  std::uint64_t descriptors = 0;
  std::uint64_t threads = 0;
};
FleetNeeds NeedsOf(std::uint64_t devices, bool csv);

// How many devices fit within `limits`.
std::uint64_t DevicesWithin(const ProcessLimits& limits, bool csv);

// Why `devices` devices do not fit, naming the limit to raise and to what;
// nothing when they fit.
std::optional<std::string> LimitProblem(std::uint64_t devices, bool csv, const ProcessLimits& limits);

// Raises the soft descriptor limit to the hard one, where it is lower (a
// shell's usual 1024 against a hard limit far above); updates `limits`.
void RaiseOpenFiles(ProcessLimits& limits);

// "/sys/fs/cgroup/<path>" of the cgroup v2 line of a /proc/self/cgroup text
// ("0::<path>"); nothing when there is none.
std::optional<std::string> CgroupDirectory(const std::string& procSelfCgroup);

}  // namespace kestrel::collector
