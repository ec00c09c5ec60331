#pragma once
// Every option of kestrelctl in one table: its names, the command it belongs
// to, its help text and how its value is taken. The parser walks the table
// and the help texts list their options from it, so an option is described
// where it is defined.
#include <span>
#include <string>

#include "cli/Options.h"

namespace kestrel::cli {

// What the parser knows while it reads a command line.
struct ParseState {
  Invocation& invocation;
  bool addressGiven = false;
  bool samplesGiven = false;
};

struct OptionRow {
  const char* longName;   // "--address"
  const char* shortName;  // "-a", or nullptr
  const char* valueName;  // "ADDR", or nullptr for a flag
  Command command;        // Command::None: a global option, valid anywhere
  std::string help;       // lines after the first are separated by '\n'
  // Takes the option's value; returns what the value should have been
  // ("takes ..."), empty when it was accepted.
  std::string (*take)(ParseState& state, const std::string& value);
};

std::span<const OptionRow> OptionTable();

// The option lines of the help text for `command`'s own options (None: the
// global ones), aligned in two columns.
std::string OptionHelp(Command command);

}  // namespace kestrel::cli
