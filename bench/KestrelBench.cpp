// Measures what the tool costs against what its design makes unavoidable:
// each figure's median and spread beside its floor, the sum of the fixed
// waits it must sit through (a 1 ms input-drain poll before every request and
// on every new connection, a 10 ms pause between the two probe datagrams).
// The device is kestrel-sim on the given address; only loopback or a private
// namespace's addresses are used.
//
//   kestrel-bench [--address A] [--local A] [--samples-scale X]
//                 [--kestrelctl PATH] [--startup-probe PATH]
//
// --kestrelctl and --startup-probe need a usable interface (run it inside
// tests/netns/with-veth.sh, with --address and --local on the veth ends).
#include <arpa/inet.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/Samples.h"
#include "common/ModelTable.h"
#include "device/CommandSet.h"
#include "device/Connect.h"
#include "tests/support/SimProcess.h"

extern char** environ;

namespace kestrel::bench {
namespace {

using Clock = std::chrono::steady_clock;
using enum net::ReplyFraming;

// The waits of the design, in milliseconds.
constexpr double kDrainPollMs = 1.0;
constexpr double kProbePauseMs = 10.0;
constexpr int kModelInputs = 8;  // model 21, the simulator's default
// Probe pause, the drain on opening, MI, then PJ, PP and one PH per input.
constexpr double kConnectFloorMs = kProbePauseMs + kDrainPollMs * (1 + 1 + 2 + kModelInputs);

class SilentFrontEnd : public device::FrontEnd {
 public:
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
    ++messages;
  }
  void RefreshControls() override {}
  void UpdateCountingControls() override {}
  void StopAutoUpdate() override {}
  int messages = 0;
};

struct Figure {
  std::string name;
  Samples samples;
  double floorMs;
  double goal;  // the ratio the figure should stay within
  std::string note;
};

void PrintTable(const std::vector<Figure>& figures) {
  std::printf("| Figure | Samples | Median | p10 – p90 | Floor | Ratio | Goal |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|\n");
  for (const Figure& f : figures) {
    if (f.floorMs > 0) {
      const double ratio = f.samples.Median() / f.floorMs;
      std::printf("| %s | %zu | %.2f ms | %.2f – %.2f ms | %.0f ms | %.3f | %s %.2f |\n",
                  f.name.c_str(), f.samples.size(), f.samples.Median(), f.samples.Low(),
                  f.samples.High(), f.floorMs, ratio, ratio <= f.goal ? "≤" : "**>**", f.goal);
    } else {
      std::printf("| %s | %zu | %.2f ms | %.2f – %.2f ms | – | – | %s |\n", f.name.c_str(),
                  f.samples.size(), f.samples.Median(), f.samples.Low(), f.samples.High(),
                  f.note.c_str());
    }
  }
}

std::string Machine() {
  std::ifstream cpu("/proc/cpuinfo");
  std::string model = "unknown CPU";
  for (std::string line; std::getline(cpu, line);) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  utsname u{};
  uname(&u);
  return model + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " CPUs, Linux " + u.release;
}

std::uint32_t AddressOf(const std::string& text) {
  in_addr a{};
  inet_pton(AF_INET, text.c_str(), &a);
  return a.s_addr;
}

// A child process with standard output on a pipe; the time from launch to
// the first line that starts with `waitFor` (or to its end when empty), and
// its peak resident memory.
struct ChildRun {
  bool ok = false;
  Clock::duration elapsed{};
  long peakRssKiB = 0;
};

ChildRun RunChild(std::vector<std::string> args, const std::string& waitFor) {
  ChildRun run;
  int out[2];
  if (pipe(out) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const auto start = Clock::now();
  const int spawned = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return run;
  }
  // Read until the awaited line, or the end of output; bounded by 20 s.
  std::string line;
  bool seen = waitFor.empty();
  const auto deadline = start + std::chrono::seconds(20);
  while (Clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char c = 0;
    if (read(out[0], &c, 1) != 1) break;
    if (c != '\n') {
      line.push_back(c);
      continue;
    }
    if (!seen && line.rfind(waitFor, 0) == 0) {
      seen = true;
      run.elapsed = Clock::now() - start;
    }
    line.clear();
  }
  close(out[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (waitFor.empty()) run.elapsed = Clock::now() - start;
  run.peakRssKiB = usage.ru_maxrss;
  run.ok = seen && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

struct Options {
  std::string address = "127.0.7.10";
  std::string local = "127.0.7.9";
  double scale = 1.0;
  std::string kestrelctl;
  std::string startupProbe;
};

int Count(const Options& o, int base) { return std::max(3, static_cast<int>(base * o.scale)); }

bool CoreFigures(const Options& o, std::vector<Figure>& figures) {
  testing::SimProcess sim(o.address, {}, testing::SimLog::Quiet);
  if (!sim.ready()) {
    std::fprintf(stderr, "kestrel-sim did not start on %s\n", o.address.c_str());
    return false;
  }
  DeviceState state;
  state.localAddress = AddressOf(o.local);
  state.protocolFamily = ProtocolFamily::Unknown;
  net::CommandChannel channel(state);  // the product's time-outs
  SilentFrontEnd frontEnd;
  device::CommandSet commands(state, channel, frontEnd);
  device::ConnectSettings settings;  // the product's probe waits and pause
  settings.probe.devicePort = sim.ports().discovery;
  settings.configPort = sim.ports().config;
  const std::string portText = std::to_string(sim.ports().command);

  const auto connect = [&] {
    return device::ConnectDevice(commands, o.address, portText, settings);
  };
  if (connect() != device::ConnectResult::Connected || CurrentInputCount(state) != kModelInputs) {
    std::fprintf(stderr, "cannot connect to kestrel-sim: %s\n", state.lastError.c_str());
    return false;
  }

  const std::uint8_t readCounter[] = {'P', 'G', 0x20, 0xC8};
  net::ReplyBuffer reply{};
  figures.push_back({"One Transact (PG)", Measure(Count(o, 1000), [&] {
                       channel.Transact(readCounter, sizeof readCounter, reply, UntilTerminator,
                                        net::Slot::MainSlot);
                     }),
                     kDrainPollMs, 1.15, ""});
  figures.push_back({"ReadSettings, eight inputs", Measure(Count(o, 200), [&] { commands.ReadSettings(); }),
                     kDrainPollMs * (2 + kModelInputs), 1.15, ""});
  figures.push_back({"ReadAllCounts, eight inputs", Measure(Count(o, 200), [&] {
                       for (int k = 0; k < kModelInputs; ++k) commands.ReadCount(k);
                     }),
                     kDrainPollMs * kModelInputs, 1.15, ""});
  device::DisconnectDevice(commands);
  Samples connects;
  for (int i = 0; i < Count(o, 100); ++i) {
    const auto start = Clock::now();
    const device::ConnectResult r = connect();
    connects.Add(Clock::now() - start);
    device::DisconnectDevice(commands);
    if (r != device::ConnectResult::Connected) ++frontEnd.messages;
  }
  figures.push_back({"Connect workflow (probe to settings read)", connects, kConnectFloorMs, 1.15, ""});
  return frontEnd.messages == 0;
}

bool CtlFigure(const Options& o, std::vector<Figure>& figures) {
  // kestrelctl uses the product's ports: 30718 for discovery, 9998, 10003.
  testing::SimProcess sim(o.address,
                          {"--port", "10003", "--config-port", "9998", "--discovery-port", "30718"},
                          testing::SimLog::Quiet);
  if (!sim.ready()) return false;
  Samples samples;
  bool ok = true;
  for (int i = 0; i < Count(o, 30); ++i) {
    const ChildRun run = RunChild({o.kestrelctl, "-a", o.address, "read"}, "");
    ok = ok && run.ok;
    samples.Add(run.elapsed);
  }
  figures.push_back({"kestrelctl read, eight inputs, connect included", samples,
                     kConnectFloorMs + kDrainPollMs * kModelInputs, 1.2, ""});
  return ok;
}

bool StartupFigure(const Options& o, std::vector<Figure>& figures) {
  Samples samples;
  long peakKiB = 0;
  bool ok = true;
  for (int i = 0; i < Count(o, 20); ++i) {
    const ChildRun run = RunChild({o.startupProbe}, "shown");
    ok = ok && run.ok;
    samples.Add(run.elapsed);
    peakKiB = std::max(peakKiB, run.peakRssKiB);
  }
  char note[96];
  std::snprintf(note, sizeof note, "≤ 300 ms; peak RSS %.1f MB (≤ 80 MB)", peakKiB / 1024.0);
  figures.push_back({"KestrelW start-up to window shown (offscreen)", samples, 0, 0, note});
  return ok;
}

}  // namespace
}  // namespace kestrel::bench

int main(int argc, char** argv) {
  using namespace kestrel::bench;
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--address") o.address = value;
    else if (name == "--local") o.local = value;
    else if (name == "--samples-scale") o.scale = std::atof(value.c_str());
    else if (name == "--kestrelctl") o.kestrelctl = value;
    else if (name == "--startup-probe") o.startupProbe = value;
    else {
      std::fprintf(stderr, "unknown option %s\n", name.c_str());
      return 2;
    }
  }
  std::printf("Machine: %s\n\n", Machine().c_str());
  std::vector<Figure> figures;
  bool ok = CoreFigures(o, figures);
  if (!o.kestrelctl.empty()) ok = CtlFigure(o, figures) && ok;
  if (!o.startupProbe.empty()) ok = StartupFigure(o, figures) && ok;
  PrintTable(figures);
  if (!ok) std::fprintf(stderr, "some runs failed; their figures are not to be trusted\n");
  return ok ? 0 : 1;
}
