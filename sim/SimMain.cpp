// kestrel-sim: a stand-in for the pulse-counter device, for trying, testing
// and demonstrating Kestrel without hardware.
#include <signal.h>
#include <sys/signalfd.h>

#include <iostream>
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

  SimServer server(parsed.config, &std::cerr);
  if (const std::string error = server.Open(); !error.empty()) {
    std::cerr << "kestrel-sim: " << error << "\n";
    return 1;
  }
  std::cout << server.ReadyLine() << std::endl;
  server.Run(signals.get());
  return 0;
}
