#include "cli/Options.h"

#include <string_view>

#include "cli/OptionTable.h"
#include "device/Connect.h"

namespace kestrel::cli {

namespace {

struct CommandRow {
  Command command;
  const char* name;
};
constexpr CommandRow kCommands[] = {
    {Command::Interfaces, "interfaces"}, {Command::Probe, "probe"}, {Command::Info, "info"},
    {Command::Apply, "apply"},           {Command::Start, "start"}, {Command::Stop, "stop"},
    {Command::Read, "read"},             {Command::Scan, "scan"},
};

Command CommandNamed(std::string_view name) {
  for (const CommandRow& row : kCommands)
    if (name == row.name) return row.command;
  return Command::None;
}

bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

// The row that `arg` names among the options valid for `command` (the
// global ones and the command's own); a long option may carry its value as
// "--name=VALUE".
const OptionRow* RowFor(std::string_view arg, Command command, std::string_view& inlineValue,
                        bool& hasInlineValue) {
  for (const OptionRow& row : OptionTable()) {
    if (row.command != Command::None && row.command != command) continue;
    const std::string_view name(row.longName);
    if (arg == name || (row.shortName != nullptr && arg == row.shortName)) {
      hasInlineValue = false;
      return &row;
    }
    if (row.valueName != nullptr && arg.size() > name.size() && arg.substr(0, name.size()) == name &&
        arg[name.size()] == '=') {
      inlineValue = arg.substr(name.size() + 1);
      hasInlineValue = true;
      return &row;
    }
  }
  return nullptr;
}

// The command that a help request is about: the first word that is not an
// option or the value of a global option.
Command HelpTopic(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string_view unused;
    bool inlineValue = false;
    const OptionRow* row = RowFor(a, Command::None, unused, inlineValue);
    if (row != nullptr && row->valueName != nullptr && !inlineValue) {
      ++i;
      continue;
    }
    if (!a.empty() && a[0] == '-') continue;
    return CommandNamed(a);
  }
  return Command::None;
}

class Parser {
 public:
  explicit Parser(const std::vector<std::string>& args) : args_(args) {}

  std::string Run(Invocation& inv) {
    ParseState state{inv};
    while (next_ < args_.size() && error_.empty()) {
      const std::string& arg = args_[next_++];
      if (!arg.empty() && arg[0] == '-') {
        Option(arg, state);
      } else if (inv.command == Command::None) {
        inv.command = CommandNamed(arg);
        if (inv.command == Command::None) error_ = "unknown command '" + arg + "'";
      } else {
        error_ = "unexpected argument '" + arg + "'";
      }
    }
    if (error_.empty()) Check(state);
    return error_;
  }

 private:
  void Option(const std::string& arg, ParseState& state) {
    const Command command = state.invocation.command;
    std::string_view inlineValue;
    bool hasInlineValue = false;
    const OptionRow* row = RowFor(arg, command, inlineValue, hasInlineValue);
    if (row == nullptr) {
      error_ = command == Command::None ? "unknown option '" + arg + "'"
                                        : "unknown option '" + arg + "' for " + CommandName(command);
      return;
    }
    std::string value(inlineValue);
    if (row->valueName != nullptr && !hasInlineValue) {
      if (next_ >= args_.size()) {
        error_ = "option " + arg + " needs a value";
        return;
      }
      value = args_[next_++];
    }
    if (const std::string why = row->take(state, value); !why.empty())
      error_ = std::string(row->longName) + " " + why + ", not '" + value + "'";
  }

  void Check(ParseState& state) {
    Invocation& inv = state.invocation;
    if (inv.command == Command::None) {
      error_ = "no command given";
      return;
    }
    if (inv.command == Command::Read && !inv.read.intervalSeconds.has_value()) {
      if (state.samplesGiven && inv.read.samples != 1) {
        error_ = "--samples needs --interval";
        return;
      }
    } else if (inv.command == Command::Read && !state.samplesGiven) {
      inv.read.samples = 0;  // a logging run goes on until it is interrupted
    }
    if (inv.command != Command::Interfaces && inv.command != Command::Scan && !state.addressGiven) {
      error_ = std::string("--address is required for ") + CommandName(inv.command);
      return;
    }
    if (!device::IsUsablePort(device::PortNumberOf(device::TrimEntry(inv.portText))))
      error_ = "--port takes a port number from 1 to 65535, not '" + inv.portText + "'";
  }

  const std::vector<std::string>& args_;
  std::size_t next_ = 0;
  std::string error_;
};

}  // namespace

const char* CommandName(Command command) {
  for (const CommandRow& row : kCommands)
    if (row.command == command) return row.name;
  return "";
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
  ParseResult result;
  for (const std::string& a : args)
    if (IsHelp(a)) {
      result.invocation.help = true;
      result.invocation.command = HelpTopic(args);
      return result;
    }
  for (const std::string& a : args)
    if (a == "--version") {
      result.invocation.version = true;
      return result;
    }
  result.error = Parser(args).Run(result.invocation);
  return result;
}

}  // namespace kestrel::cli
