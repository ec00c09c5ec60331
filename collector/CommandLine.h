#pragma once
// The collector's command line.
#include <string>
#include <vector>

#include "collector/Config.h"
#include "collector/OutputOptions.h"

namespace kestrel::collector {

struct CommandLine {
  CollectorConfig config;
  std::vector<std::string> configFiles;  // --config, read in order
  ArgsSet set;                           // settings the command line gave
  OutputOptions outputs;                 // metrics endpoint, broker, shard
  bool help = false;
  bool version = false;
  std::string error;  // empty when usable
};

// `args` excludes the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string HelpText();

}  // namespace kestrel::collector
