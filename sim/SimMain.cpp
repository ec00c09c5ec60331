// kestrel-sim: a stand-in for the pulse-counter device, for trying, testing
// and demonstrating Kestrel without hardware.
#include <arpa/inet.h>
#include <signal.h>
#include <sys/signalfd.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "common/ProjectVersion.h"
#include "sim/DescriptorBudget.h"
#include "sim/EventLoop.h"
#include "sim/SimOptions.h"
#include "sim/SimServer.h"

int main(int argc, char** argv) {
  using namespace kestrel::sim;
  const ParsedOptions parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.outcome == OptionOutcome::Help) {
    std::cout << HelpText();
    return 0;
  }
  if (parsed.outcome == OptionOutcome::Version) {
    std::cout << "kestrel-sim " << kestrel::kProjectVersion << "\n";
    return 0;
  }
  if (parsed.outcome == OptionOutcome::Error) {
    std::cerr << "kestrel-sim: " << parsed.error << "\n";
    return 2;
  }

  // SIGINT and SIGTERM arrive as readable data on a descriptor that the event
  // loop watches, so the loop ends between two events and closes its sockets.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  if (sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) return 1;
  UniqueFd signals(signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC));
  if (!signals.valid()) {
    std::cerr << "kestrel-sim: cannot watch signals\n";
    return 1;
  }

  // Every device's sockets stay open, so a fleet needs many descriptors: take
  // all the hard limit allows and say so plainly when even that is short.
  const SimConfig& base = parsed.config;
  const auto verdict = CheckBudget(base.devices, SimServer::IdleDescriptors(base), RaiseOpenFileLimit());
  if (verdict) {
    std::cerr << "kestrel-sim: " << (verdict->refuse ? "" : "warning: ") << verdict->message << "\n";
    if (verdict->refuse) return 1;
  }

  // One event loop serves every simulated device, each on its own address;
  // it watches the signal descriptor, so one signal ends all.
  EventLoop loop;
  if (!loop.error().empty()) {
    std::cerr << "kestrel-sim: " << loop.error() << "\n";
    return 1;
  }
  in_addr first{};
  inet_pton(AF_INET, base.bindAddress.c_str(), &first);
  std::vector<std::unique_ptr<SimServer>> servers;
  servers.reserve(base.devices);
  for (std::uint32_t i = 0; i < base.devices; ++i) {
    SimConfig config = base;
    in_addr address{htonl(ntohl(first.s_addr) + i)};
    char text[INET_ADDRSTRLEN];
    config.bindAddress = inet_ntop(AF_INET, &address, text, sizeof text);
    if (base.devices > 1) config.logLabel = config.bindAddress;
    servers.push_back(std::make_unique<SimServer>(config, &std::cerr, &loop));
    if (const std::string error = servers.back()->Open(); !error.empty()) {
      std::cerr << "kestrel-sim: " << config.bindAddress << ": " << error << "\n";
      return 1;
    }
  }
  std::string ready = servers.front()->ReadyLine();
  if (base.devices > 1) ready += " devices=" + std::to_string(base.devices);
  std::cout << ready << std::endl;
  loop.Run(signals.get());
  for (auto& server : servers) server->CloseAll();
  return 0;
}
