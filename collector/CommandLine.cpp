#include "collector/CommandLine.h"

#include <string_view>

namespace kestrel::collector {

namespace {

// Limits of the waits that tests and slow networks may change.
constexpr double kMaxBackoffSeconds = 3600;
constexpr double kMaxTimeoutSeconds = 600;
constexpr double kMinWaitSeconds = 0.001;

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  CollectorConfig& c = cl.config;
  for (std::size_t i = 0; i < args.size() && cl.error.empty(); ++i) {
    std::string arg = args[i];
    std::string value;
    bool hasValue = false;
    if (const std::size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasValue = true;
    }
    const auto need = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= args.size()) {
        cl.error = "option " + arg + " needs a value";
        return false;
      }
      value = args[++i];
      return true;
    };
    const auto seconds = [&](double min, double max, const char* what) {
      std::optional<std::chrono::milliseconds> v;
      if (need() && !(v = ParseSeconds(value, min, max)))
        cl.error = arg + " '" + value + "': " + what;
      return v;
    };
    if (arg == "--help" || arg == "-h") {
      cl.help = true;
    } else if (arg == "--version") {
      cl.version = true;
    } else if (arg == "--device" || arg == "-d") {
      if (!need()) break;
      if (auto device = ParseDeviceArgument(value, cl.error)) c.devices.push_back(std::move(*device));
    } else if (arg == "--config" || arg == "-c") {
      if (need()) cl.configFiles.push_back(value);
    } else if (arg == "--interval") {
      if (auto v = seconds(kMinIntervalSeconds, kMaxIntervalSeconds, "seconds from 0.01 to 1000000")) {
        c.interval = *v;
        cl.set.interval = true;
      }
    } else if (arg == "--interface" || arg == "-i") {
      if (need()) c.interface = value, cl.set.interface = true;
    } else if (arg == "--csv-dir") {
      if (need()) c.csvDir = value, cl.set.csvDir = true;
    } else if (arg == "--store") {
      if (need()) c.store = value, cl.set.store = true;
    } else if (arg == "--keep-minutes" || arg == "--keep-hours") {
      if (!need()) break;
      const std::optional<int> days = ParseKeepDays(value);
      if (!days) cl.error = arg + " '" + value + "': whole days from 1 to " + std::to_string(kMaxKeepDays);
      else if (arg == "--keep-minutes") c.keepMinutesDays = *days, cl.set.keepMinutes = true;
      else c.keepHoursDays = *days, cl.set.keepHours = true;
    } else if (arg == "--scan") {
      c.scan = true;
    } else if (arg == "--rescan") {
      if (auto v = seconds(1, kMaxIntervalSeconds, "seconds from 1 to 1000000")) c.rescan = *v;
      c.scan = true;
    } else if (arg == "--wait") {
      if (auto v = seconds(kMinWaitSeconds, kMaxTimeoutSeconds, "seconds up to 600")) c.scanWait = *v;
    } else if (arg == "--backoff") {
      if (auto v = seconds(kMinWaitSeconds, kMaxBackoffSeconds, "seconds up to 3600")) c.backoffFirst = *v;
    } else if (arg == "--backoff-max") {
      if (auto v = seconds(kMinWaitSeconds, kMaxBackoffSeconds, "seconds up to 3600")) c.backoffMax = *v;
    } else if (arg == "--timeout") {
      if (auto v = seconds(kMinWaitSeconds, kMaxTimeoutSeconds, "seconds up to 600")) c.timeout = *v;
    } else if (!ParseOutputOption(arg, [&]() -> std::optional<std::string> {
                 if (!need()) return std::nullopt;
                 return value;
               }, cl.outputs, cl.error)) {
      cl.error = "unknown option '" + args[i] + "'";
    }
  }
  if (cl.error.empty() && !cl.help && !cl.version && c.devices.empty() && cl.configFiles.empty() &&
      !c.scan)
    cl.error = "no devices: give --device, --config or --scan";
  if (cl.error.empty())
    if (auto error = CheckOutputOptions(cl.outputs)) cl.error = *error;
  return cl;
}

std::string HelpText() {
  return R"(Usage: kestrel-collector [OPTIONS]
       kestrel-collector totals --store FILE --from TIME --to TIME [...]
Polls the pulse counters of many devices at once, for ever, and writes every
sample and event as a line: JSON Lines on standard output, or CSV files.

Devices:
  -d, --device ADDR[:PORT][=NAME]  a device (port )" + std::to_string(kDefaultPort) + R"( unless given; the
                                   name defaults to the address); repeatable
  -c, --config FILE                a TOML file with settings and [[device]]
                                   tables; repeatable
      --scan                       also poll every device that answers a
                                   broadcast probe on the interface
      --rescan SECONDS             scan again at this period (implies --scan)
      --wait SECONDS               how long a scan waits for answers (5)
Polling:
      --interval SECONDS           time between polls of a device (1)
  -i, --interface ADDR|NAME        local interface to use (first usable one)
      --timeout SECONDS            bound of each connect, send and receive
                                   (10) and of the probe's wait (5)
      --backoff SECONDS            first wait after a failure (1); it doubles
      --backoff-max SECONDS        up to this (60)
Output:
      --csv-dir DIR                samples to DIR/NAME-YYYY-MM-DD.csv instead
                                   of standard output (events stay there)
      --store FILE                 keep counter state, pulses per minute and
                                   hour and the broker's outbox in FILE
                                   (SQLite); totals go on across restarts
      --keep-minutes DAYS          how long the store keeps minute rows ()" +
         std::to_string(kDefaultKeepMinutesDays) + R"()
      --keep-hours DAYS            how long it keeps hour rows ()" +
         std::to_string(kDefaultKeepHoursDays) + R"()
)" + OutputHelpText() + R"(Other:
  -h, --help                       this text
      --version                    the version
  totals --help                    pulses per period from a store

SIGINT or SIGTERM end it after the polls in progress, closing every
connection; SIGHUP reopens the CSV files. Exit status: 0 after a stop
signal, 1 when the network or the output fails at start or when a scan
without --rescan leaves nothing to poll (a scan that finds no device says
so: "no device answered on veth0 (10.77.0.1/24) within 5 s"), 2 for a bad
command line, configuration or store file (nothing is contacted then).
)";
}

}  // namespace kestrel::collector
