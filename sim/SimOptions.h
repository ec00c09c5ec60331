#pragma once
// Command line of kestrel-sim.
#include <string>
#include <vector>

#include "sim/SimConfig.h"

namespace kestrel::sim {

enum class OptionOutcome { Run, Help, Version, Error };

struct ParsedOptions {
  OptionOutcome outcome = OptionOutcome::Run;
  SimConfig config;
  std::string error;  // one line, set when outcome is Error
};

ParsedOptions ParseOptions(const std::vector<std::string>& args);

// The --help text: every option with its default.
std::string HelpText();

}  // namespace kestrel::sim
