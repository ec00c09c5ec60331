#pragma once
// The commands. Each returns the process exit status; results go to `out`,
// messages to `messages`.
#include <ostream>
#include <string>

#include "cli/Options.h"

namespace kestrel::cli {

struct Terminal {
  std::ostream& out;
  std::ostream& messages;

  // One line of output, flushed at once so that a log file or a pipe sees
  // each sample as it is taken; false when the output is gone.
  bool Print(const std::string& line) {
    out << line << '\n' << std::flush;
    return out.good();
  }
};

int RunInterfaces(const Invocation& inv, Terminal& terminal);
int RunProbe(const Invocation& inv, Terminal& terminal);
int RunInfo(const Invocation& inv, Terminal& terminal);
int RunApply(const Invocation& inv, Terminal& terminal);
int RunStart(const Invocation& inv, Terminal& terminal);
int RunStop(const Invocation& inv, Terminal& terminal);
int RunRead(const Invocation& inv, Terminal& terminal);
int RunScan(const Invocation& inv, Terminal& terminal);

int RunCommand(const Invocation& inv, Terminal& terminal);

}  // namespace kestrel::cli
