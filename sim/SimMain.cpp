// kestrel-sim: a stand-in for the pulse-counter device, for trying, testing
// and demonstrating Kestrel without hardware.
#include <arpa/inet.h>
#include <signal.h>
#include <sys/signalfd.h>

#include <iostream>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "common/ProjectVersion.h"
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

  // One server per simulated device, each on its own address and thread;
  // every thread watches the same signal descriptor, so one signal ends all.
  const SimConfig& base = parsed.config;
  in_addr first{};
  inet_pton(AF_INET, base.bindAddress.c_str(), &first);
  std::vector<std::unique_ptr<SimServer>> servers;
  for (std::uint32_t i = 0; i < base.devices; ++i) {
    SimConfig config = base;
    in_addr address{htonl(ntohl(first.s_addr) + i)};
    char text[INET_ADDRSTRLEN];
    config.bindAddress = inet_ntop(AF_INET, &address, text, sizeof text);
    if (base.devices > 1) config.logLabel = config.bindAddress;
    servers.push_back(std::make_unique<SimServer>(config, &std::cerr));
    if (const std::string error = servers.back()->Open(); !error.empty()) {
      std::cerr << "kestrel-sim: " << config.bindAddress << ": " << error << "\n";
      return 1;
    }
  }
  std::string ready = servers.front()->ReadyLine();
  if (base.devices > 1) ready += " devices=" + std::to_string(base.devices);
  std::cout << ready << std::endl;
  if (servers.size() == 1) {
    servers.front()->Run(signals.get());
    return 0;
  }
  std::vector<std::thread> threads;
  for (auto& server : servers) threads.emplace_back([&server, &signals] { server->Run(signals.get()); });
  for (std::thread& t : threads) t.join();
  return 0;
}
