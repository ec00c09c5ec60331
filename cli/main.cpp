// kestrelctl: the device operations of the window, from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/DeviceConnection.h"
#include "cli/ExitCode.h"
#include "cli/Help.h"
#include "cli/Options.h"
#include "cli/StopSignal.h"
#include "common/ProjectVersion.h"
#include "net/Socket.h"

int main(int argc, char** argv) {
  using namespace kestrel::cli;
  IgnoreBrokenPipe();
  kestrel::net::StartSocketLibrary();
  const ParseResult parsed = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.invocation.help) {
    std::cout << HelpText(parsed.invocation.command) << std::flush;
    return std::cout.good() ? kExitOk : kExitFailure;
  }
  if (parsed.invocation.version) {
    std::cout << "kestrelctl " << kestrel::kProjectVersion << '\n' << std::flush;
    return std::cout.good() ? kExitOk : kExitFailure;
  }
  if (!parsed.error.empty()) return UsageError(std::cerr, parsed.error, parsed.invocation.command);
  Terminal terminal{std::cout, std::cerr};
  return RunCommand(parsed.invocation, terminal);
}
