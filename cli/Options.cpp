#include "cli/Options.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <string_view>

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
    {Command::Read, "read"},
};

Command CommandNamed(std::string_view name) {
  for (const CommandRow& row : kCommands)
    if (name == row.name) return row.command;
  return Command::None;
}

bool IsHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Options that take a value: the long form accepts "--name VALUE" and
// "--name=VALUE", the short form "-x VALUE".
struct ValueOption {
  const char* longName;
  const char* shortName;  // nullptr: none
};
constexpr ValueOption kAddress{"--address", "-a"};
constexpr ValueOption kPort{"--port", "-p"};
constexpr ValueOption kInterface{"--interface", "-i"};
constexpr ValueOption kPeriod{"--period", nullptr};
constexpr ValueOption kChatter{"--chatter", nullptr};
constexpr ValueOption kInput{"--input", nullptr};
constexpr ValueOption kInterval{"--interval", nullptr};
constexpr ValueOption kSamples{"--samples", nullptr};
constexpr const ValueOption* kGlobalValueOptions[] = {&kAddress, &kPort, &kInterface};

class ArgReader {
 public:
  explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}
  bool done() const { return next_ >= args_.size(); }
  const std::string& take() { return args_[next_++]; }

  // Whether `arg` names `option`; on a match `value` receives its value, or
  // `error` says that it is missing.
  bool Match(const std::string& arg, const ValueOption& option, std::string& value,
             std::string& error) {
    const std::string_view a(arg);
    const std::string_view name(option.longName);
    if (a.size() > name.size() && a.substr(0, name.size()) == name && a[name.size()] == '=') {
      value = std::string(a.substr(name.size() + 1));
      return true;
    }
    if (a != name && (option.shortName == nullptr || a != option.shortName)) return false;
    if (done()) {
      error = "option " + arg + " needs a value";
      return true;
    }
    value = take();
    return true;
  }

 private:
  const std::vector<std::string>& args_;
  std::size_t next_ = 0;
};

bool ParsePeriod(const std::string& text, std::int32_t& period) {
  const std::string t = Lower(text);
  constexpr const char* kWords[] = {"start-stop", "0.1", "1", "10"};
  for (std::int32_t i = 0; i < 4; ++i)
    if (t == kWords[i]) {
      period = i;
      return true;
    }
  return false;
}

// Whole decimal number, digits only.
bool ParseCount(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseChatter(const std::string& text, std::int32_t& code) {
  if (Lower(text) == "off") {
    code = 0;
    return true;
  }
  std::uint64_t ms = 0;
  if (!ParseCount(text, ms) || ms < 4 || ms > 20) return false;
  code = static_cast<std::int32_t>(ms);
  return true;
}

// "DIn=off|rise|fall" with n from 1 to 8.
bool ParseInput(const std::string& text, ApplyRequest& apply) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) return false;
  const std::string name = Lower(text.substr(0, eq));
  const std::string mode = Lower(text.substr(eq + 1));
  std::uint64_t number = 0;
  if (name.size() < 3 || name.compare(0, 2, "di") != 0 || !ParseCount(name.substr(2), number) ||
      number < 1 || number > kMaxInputs)
    return false;
  InputChoice choice;
  if (mode == "rise") {
    choice = {1, 0};
  } else if (mode == "fall") {
    choice = {1, 1};
  } else if (mode != "off") {
    return false;
  }
  apply.inputs[number - 1] = choice;
  return true;
}

// A plain decimal number ("5", "0.2", ".5"), no sign, exponent or words, so
// that "1e9" or "inf" cannot slip through as an interval.
bool ParseInterval(const std::string& text, double& seconds) {
  bool digits = false;
  bool point = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  seconds = std::strtod(text.c_str(), nullptr);
  return seconds > 0 && seconds <= kMaxIntervalSeconds;
}

// The command that a help request is about: the first word that is not an
// option or the value of a global option.
Command HelpTopic(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool takesValue = false;
    for (const ValueOption* o : kGlobalValueOptions)
      takesValue = takesValue || a == o->longName || a == o->shortName;
    if (takesValue) {
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
  explicit Parser(const std::vector<std::string>& args) : reader_(args) {}

  std::string Run(Invocation& inv) {
    bool addressGiven = false;
    while (!reader_.done() && error_.empty()) {
      const std::string& arg = reader_.take();
      std::string value;
      if (reader_.Match(arg, kAddress, value, error_)) {
        inv.address = value;
        addressGiven = true;
      } else if (reader_.Match(arg, kPort, value, error_)) {
        inv.portText = value;
      } else if (reader_.Match(arg, kInterface, value, error_)) {
        inv.interface = value;
      } else if (arg == "--json") {
        inv.json = true;
      } else if (!arg.empty() && arg[0] == '-') {
        CommandOption(arg, inv);
      } else if (inv.command == Command::None) {
        inv.command = CommandNamed(arg);
        if (inv.command == Command::None) error_ = "unknown command '" + arg + "'";
      } else {
        error_ = "unexpected argument '" + arg + "'";
      }
    }
    if (error_.empty()) Check(inv, addressGiven);
    return error_;
  }

 private:
  void CommandOption(const std::string& arg, Invocation& inv) {
    std::string value;
    const Command c = inv.command;
    if (c == Command::Apply && reader_.Match(arg, kPeriod, value, error_)) {
      std::int32_t period = 0;
      if (error_.empty() && !ParsePeriod(value, period))
        error_ = "--period takes start-stop, 0.1, 1 or 10, not '" + value + "'";
      inv.apply.countPeriod = period;
    } else if (c == Command::Apply && reader_.Match(arg, kChatter, value, error_)) {
      std::int32_t code = 0;
      if (error_.empty() && !ParseChatter(value, code))
        error_ = "--chatter takes off or 4 to 20 (milliseconds), not '" + value + "'";
      inv.apply.chatterCode = code;
    } else if (c == Command::Apply && reader_.Match(arg, kInput, value, error_)) {
      if (error_.empty() && !ParseInput(value, inv.apply))
        error_ = "--input takes DIn=off, DIn=rise or DIn=fall with n from 1 to 8, not '" + value +
                 "'";
    } else if (c == Command::Read && reader_.Match(arg, kInterval, value, error_)) {
      double seconds = 0;
      if (error_.empty() && !ParseInterval(value, seconds))
        error_ = "--interval takes a number of seconds above 0 (for example 0.5), not '" + value +
                 "'";
      inv.read.intervalSeconds = seconds;
    } else if (c == Command::Read && reader_.Match(arg, kSamples, value, error_)) {
      std::uint64_t samples = 0;
      if (error_.empty() && !ParseCount(value, samples))
        error_ = "--samples takes a whole number (0: until interrupted), not '" + value + "'";
      inv.read.samples = samples;
      samplesGiven_ = true;
    } else if (error_.empty()) {
      error_ = c == Command::None ? "unknown option '" + arg + "'"
                                  : "unknown option '" + arg + "' for " + CommandName(c);
    }
  }

  void Check(Invocation& inv, bool addressGiven) {
    if (inv.command == Command::None) {
      error_ = "no command given";
      return;
    }
    if (inv.command == Command::Read && !inv.read.intervalSeconds.has_value()) {
      if (samplesGiven_ && inv.read.samples != 1) {
        error_ = "--samples needs --interval";
        return;
      }
    } else if (inv.command == Command::Read && !samplesGiven_) {
      inv.read.samples = 0;  // a logging run goes on until it is interrupted
    }
    if (inv.command != Command::Interfaces && !addressGiven) {
      error_ = std::string("--address is required for ") + CommandName(inv.command);
      return;
    }
    if (!IsUsablePort(PortNumberOf(TrimEntry(inv.portText))))
      error_ = "--port takes a port number from 1 to 65535, not '" + inv.portText + "'";
  }

  ArgReader reader_;
  std::string error_;
  bool samplesGiven_ = false;
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
