// kestrel-collector: the counts of many devices, polled together and kept
// over time, as JSON Lines or CSV.
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <system_error>
#include <string>
#include <vector>

#include "common/ProjectVersion.h"
#include "collector/CommandLine.h"
#include "collector/DevicePoller.h"
#include "collector/FileText.h"
#include "collector/LineOutput.h"
#include "collector/OutputHealth.h"
#include "collector/Outputs.h"
#include "collector/QueuedSink.h"
#include "collector/ResourceLimits.h"
#include "collector/ServiceOutputs.h"
#include "collector/SinkList.h"
#include "collector/TotalsCommand.h"
#include "collector/http/WebFiles.h"
#include "collector/store/StoreSink.h"
#include "collector/store/StoredState.h"
#include "net/AdapterTable.h"
#include "net/AddressText.h"
#include "net/Scan.h"
#include "net/Socket.h"

namespace {

using namespace kestrel;
using namespace kestrel::collector;

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr char kProgram[] = "kestrel-collector";

int Usage(const std::string& problem) {
  std::cerr << kProgram << ": " << problem << "\nTry '" << kProgram << " --help'.\n";
  return kExitUsage;
}

PollTimings TimingsOf(const CollectorConfig& c) {
  PollTimings t;
  if (c.backoffFirst) t.backoffFirst = *c.backoffFirst;
  if (c.backoffMax) t.backoffMax = *c.backoffMax;
  if (t.backoffMax < t.backoffFirst) t.backoffMax = t.backoffFirst;
  if (c.timeout) {
    const auto ms = static_cast<std::uint32_t>(c.timeout->count());
    t.channel.connectMs = t.channel.sendMs = t.channel.receiveMs = ms;
    t.connect.probe.replyWaitMs = ms;
    t.connect.probe.followUpReceiveMs = std::min(t.connect.probe.followUpReceiveMs, ms);
  }
  return t;
}

// SIGINT, SIGTERM and SIGHUP are taken by the main thread only: they are
// blocked before any other thread starts, and waited for here.
sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

// A SIGINT or SIGTERM waits to be taken by the main loop: looked at, not
// taken, so that the loop still sees it and ends.
bool StopPending() {
  sigset_t pending;
  sigemptyset(&pending);
  if (sigpending(&pending) != 0) return false;
  return sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1;
}

// Starts a poller for `t`; a device that cannot have one is told on
// standard error and goes unpolled, the others go on.
void StartPoller(PollerRegistry& pollers, const DeviceTarget& t, const PollTimings& timings, RecordSink& sink,
                 std::optional<ResumePoint> resume, const ProcessLimits& limits, bool csv) {
  const AddResult added = pollers.TryAdd(t, timings, sink, std::move(resume));
  if (added == AddResult::Full)
    std::cerr << kProgram << ": " << t.device.name << ": not polled: "
              << LimitProblem(pollers.size() + 1, csv, limits).value_or("the process limits are reached") << "\n";
  if (added == AddResult::NoThread)
    std::cerr << kProgram << ": " << t.device.name
              << ": not polled: no event loop could be started (raise the task or open-file limit: ulimit -u and ulimit -n, or TasksMax= and LimitNOFILE= in the service unit)\n";
}

int Collect(int argc, char** argv);

}  // namespace

int main(int argc, char** argv) {
  // A thread that cannot start outside the pollers (an output's, the
  // store's) ends the collector with a message instead of an abort.
  try {
    return Collect(argc, argv);
  } catch (const std::system_error& e) {
    std::cerr << kProgram << ": cannot go on: " << e.what()
              << " (out of threads or descriptors? raise ulimit -u and ulimit -n, or TasksMax= and LimitNOFILE=)\n";
    return kExitFailure;
  }
}

namespace {

int Collect(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);  // a closed output shows as a failed write
  if (argc > 1 && std::string(argv[1]) == "totals")
    return RunTotalsCommand(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
  net::StartSocketLibrary();
  CommandLine cl = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (cl.help) {
    std::cout << HelpText() << std::flush;
    return kExitOk;
  }
  if (cl.version) {
    std::cout << kProgram << " " << kProjectVersion << "\n" << std::flush;
    return kExitOk;
  }
  if (!cl.error.empty()) return Usage(cl.error);
  CollectorConfig& config = cl.config;

  // Everything is checked before any device is contacted.
  for (const std::string& file : cl.configFiles) {
    std::string why;
    const std::optional<std::string> text = ReadFileText(file, why);
    if (!text) return Usage(file + ": cannot be read: " + why);
    if (auto error = ApplyConfigText(*text, file, config, cl.set)) return Usage(*error);
  }
  if (auto error = CheckDevicesUnique(config)) return Usage(*error);
  std::string passwordError;  // read again when the endpoint starts; refused here as configuration
  if (cl.outputs.web.authFile && !LoadPasswordFile(*cl.outputs.web.authFile, passwordError))
    return Usage(passwordError);
  if (config.devices.empty() && !config.scan) {
    // A service whose file is still as installed: said, and ended with 0 so
    // that systemd does not start it again and again.
    std::cerr << kProgram << ": " << NothingConfiguredText(cl.configFiles);
    return kExitOk;
  }

  const std::optional<net::AdapterTable> adapters =
      net::BuildAdapterTable(net::ReadPlatformAdapters());
  if (!adapters || adapters->count == 0) {
    std::cerr << kProgram << ": " << (adapters ? kMsgNoNetworkDevice : "the list of network adapters could not be read") << "\n";
    return kExitFailure;
  }
  const auto localAddressOf = [&](const std::optional<std::string>& name) -> std::optional<std::uint32_t> {
    const net::AdapterEntry* row = net::FindAdapterEntry(*adapters, name);
    if (row == nullptr) return std::nullopt;
    return row->address;
  };
  const std::optional<std::uint32_t> defaultLocal = localAddressOf(config.interface);
  if (!defaultLocal) return Usage("no usable interface '" + config.interface.value_or("") + "'");
  std::vector<DeviceTarget> targets;
  for (const DeviceConfig& d : config.devices) {
    const std::optional<std::uint32_t> local = d.interface ? localAddressOf(d.interface) : defaultLocal;
    if (!local) return Usage(d.origin + ": no usable interface '" + *d.interface + "'");
    if (cl.outputs.shard && !InShard(*cl.outputs.shard, d.device.address, d.device.port)) continue;
    targets.push_back(DeviceTarget{d.device, d.interval.value_or(config.interval), *local});
  }
  // A thread and a descriptor or two per device: a fleet the limits cannot
  // hold is refused now, with the limit to raise.
  ProcessLimits limits = ReadProcessLimits();
  RaiseOpenFiles(limits);
  const bool csvFiles = config.csvDir.has_value();
  if (auto problem = LimitProblem(targets.size(), csvFiles, limits)) {
    std::cerr << kProgram << ": " << *problem << "\n";
    return kExitFailure;
  }

  // Blocked before the first thread (the queues' own) starts, so that no
  // thread but the main one ever takes them, whatever the main one is doing.
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  // Before every output: they all report to it, up to their end.
  OutputHealth health;
  // JSON Lines and CSV each behind a queue of their own, so that a pipe
  // nobody reads or a stalled disk never holds up a poll.
  SinkList sinks;
  LineOutput standardOutput(STDOUT_FILENO);
  JsonLinesSink json(standardOutput, !config.csvDir, health);
  QueuedSink jsonQueue(kJsonLinesOutput, json, health, [&standardOutput] { standardOutput.Abandon(); });
  sinks.Add(jsonQueue);
  std::optional<CsvSink> csv;
  std::optional<QueuedSink> csvQueue;
  if (config.csvDir) {
    csv.emplace(*config.csvDir, health);
    // Find out now, not at the first sample, whether the directory takes files.
    const std::string probe = csv->PathFor(".write-test", "0");
    std::FILE* f = std::fopen(probe.c_str(), "w");
    if (f == nullptr) {
      std::cerr << kProgram << ": cannot write into " << *config.csvDir << "\n";
      return kExitFailure;
    }
    std::fclose(f);
    std::remove(probe.c_str());
    csvQueue.emplace(kCsvOutput, *csv, health);
    sinks.Add(*csvQueue);
  }

  // The store comes before the pollers: they take up the counts it kept.
  std::optional<store::OpenedStore> stored;
  std::unique_ptr<store::StoreSink> storeSink;
  if (config.store) {
    std::string error;
    stored = store::OpenStore(*config.store, error);
    if (!stored) {
      std::cerr << kProgram << ": " << *config.store << ": " << error << "\n";
      return kExitUsage;
    }
    store::StoreSettings settings;
    settings.keepMinutes = std::chrono::hours(24 * config.keepMinutesDays);
    settings.keepHours = std::chrono::hours(24 * config.keepHoursDays);
    store::StoreReports reports{[&health](const std::string& reason) { health.Failed(kStoreOutput, reason); },
                                [&health] { health.Resumed(kStoreOutput); },
                                [&health](std::uint64_t n) { health.Dropped(kStoreOutput, n); }};
    health.Dropped(kStoreOutput, 0);  // known from the start
    storeSink = std::make_unique<store::StoreSink>(std::move(stored->writer), settings, sinks, reports);
  }
  // With a store, records reach the other outputs once it has them.
  RecordSink& front = storeSink ? static_cast<RecordSink&>(*storeSink) : sinks;
  const auto resumeFor = [&](const std::string& name) -> std::optional<ResumePoint> {
    if (!stored) return std::nullopt;
    const auto it = stored->resumePoints.find(name);
    if (it == stored->resumePoints.end()) return std::nullopt;
    return it->second;
  };

  const PollTimings timings = TimingsOf(config);
  PollerRegistry pollers(DevicesWithin(limits, csvFiles));  // a scan finds no more than fit
  std::string outputError;
  const net::AdapterEntry* localRow = net::FindAdapterEntry(*adapters, config.interface);
  cl.outputs.storePath = config.store;
  const std::unique_ptr<ServiceOutputs> services = ServiceOutputs::Start(
      cl.outputs, pollers, timings, localRow->address, localRow->mask, sinks, health, storeSink.get(),
      stored ? stored->outbox : std::vector<store::StoredMessage>{}, outputError);
  if (!services) {
    std::cerr << kProgram << ": " << outputError << "\n";
    return kExitFailure;
  }
  // Every output is in `sinks` now; the reports go through them all.
  health.SetEventSink(&front);
  if (storeSink) storeSink->Start();
  for (const DeviceTarget& t : targets)
    StartPoller(pollers, t, timings, front, resumeFor(t.device.name), limits, csvFiles);

  const auto scan = [&] {
    int error = 0;
    const auto waitMs = static_cast<std::uint32_t>(config.scanWait.count());
    const auto answers =
        net::ScanForDevices(*defaultLocal, waitMs, timings.connect.probe, error, net::kLimitedBroadcast, StopPending);
    if (StopPending()) return;  // no pollers to stop again at once
    if (error != 0) std::cerr << kProgram << ": scan failed: socket error " << error << "\n";
    else if (answers.empty()) std::cerr << kProgram << ": " << net::NoAnswerText(*localRow, waitMs) << "\n";
    for (const net::ScanAnswer& a : answers) {
      if (!a.supported) continue;
      const std::string address = net::FormatAddress(a.source.address);
      if (cl.outputs.shard && !InShard(*cl.outputs.shard, address, kDefaultPort)) continue;
      DeviceTarget t{DeviceRef{address, address, kDefaultPort}, config.interval, *defaultLocal};
      // Refused when polled already, or when the limits hold no more.
      StartPoller(pollers, t, timings, front, resumeFor(t.device.name), limits, csvFiles);
    }
  };
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> nextScan;
  if (config.scan) nextScan = Clock::now();

  int status = kExitOk;
  for (;;) {
    if (nextScan && Clock::now() >= *nextScan) {
      scan();
      nextScan = config.rescan ? std::optional(Clock::now() + *config.rescan) : std::nullopt;
      // A scan was the last chance of finding a device: running on with
      // nothing to poll would look like a quiet fleet.
      if (!nextScan && pollers.size() == 0 && !StopPending()) {
        std::cerr << kProgram << ": nothing to poll\n";
        status = kExitFailure;
        break;
      }
    }
    // Wakes a few times a second to notice a broken output.
    timespec slice{0, 200'000'000};
    const int caught = sigtimedwait(&signals, nullptr, &slice);
    if (caught == SIGHUP) sinks.Reopen();
    if (caught == SIGINT || caught == SIGTERM) break;
    health.TellHeldBack();
    if (!json.good()) {
      status = kExitFailure;
      break;
    }
  }
  pollers.StopAll();
  if (storeSink) storeSink->Stop();  // commits and hands on the last records
  // The outputs close from here on: what goes wrong now is told on
  // standard error only, not as records that would come after their end.
  health.SetEventSink(nullptr);
  jsonQueue.Stop();  // each drains for a bounded time
  if (csvQueue) csvQueue->Stop();
  services->Stop();  // after the pollers, so their last status goes out
  if (storeSink) storeSink->CommitRemaining();  // the outbox as the broker left it
  return status;
}

}  // namespace
