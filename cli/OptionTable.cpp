#include "cli/OptionTable.h"

#include <cstdlib>
#include <vector>

#include "common/Protocol.h"
#include "common/SettingWords.h"

namespace kestrel::cli {

namespace {

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

std::string TakeAddress(ParseState& s, const std::string& v) {
  s.invocation.address = v;
  s.addressGiven = true;
  return {};
}

std::string TakePort(ParseState& s, const std::string& v) {
  s.invocation.portText = v;  // judged after parsing, by the connect steps' rules
  return {};
}

std::string TakeInterface(ParseState& s, const std::string& v) {
  s.invocation.interface = v;
  return {};
}

std::string TakeJson(ParseState& s, const std::string&) {
  s.invocation.json = true;
  return {};
}

std::string TakePeriod(ParseState& s, const std::string& v) {
  const auto period = CountPeriodFromWord(v);
  if (!period) return "takes start-stop, 0.1, 1 or 10";
  s.invocation.apply.countPeriod = *period;
  return {};
}

std::string TakeChatter(ParseState& s, const std::string& v) {
  const auto code = ChatterCodeFromWord(v);
  if (!code) return "takes off or 4 to 20 (milliseconds)";
  s.invocation.apply.chatterCode = *code;
  return {};
}

std::string TakeInput(ParseState& s, const std::string& v) {
  const auto assignment = SplitInputAssignment(v);
  const auto mode = assignment ? InputModeFromWord(assignment->value) : std::nullopt;
  if (!mode) return "takes DIn=off, DIn=rise or DIn=fall with n from 1 to 8 (or n=..., all=...)";
  for (int k = 0; k < kMaxInputs; ++k)
    if (assignment->inputs & (1u << k)) s.invocation.apply.inputs[k] = InputChoice{mode->enabled, mode->edge};
  return {};
}

std::string TakeInterval(ParseState& s, const std::string& v) {
  double seconds = 0;
  if (!ParseInterval(v, seconds)) return "takes a number of seconds above 0 (for example 0.5)";
  s.invocation.read.intervalSeconds = seconds;
  return {};
}

std::string TakeSamples(ParseState& s, const std::string& v) {
  const auto samples = DecimalFromWord(v);
  if (!samples) return "takes a whole number (0: until interrupted)";
  s.invocation.read.samples = *samples;
  s.samplesGiven = true;
  return {};
}

std::string TakeWait(ParseState& s, const std::string& v) {
  if (!ParseInterval(v, s.invocation.scan.waitSeconds)) return "takes a number of seconds above 0 (for example 2)";
  return {};
}

// Built at first use: some help texts quote defaults from their constants.
const std::vector<OptionRow>& Options() {
  static const std::vector<OptionRow> rows{
    {"--address", "-a", "ADDR", Command::None,
     "the device: a dotted IPv4 address or a host name\n"
     "(required by every command except interfaces)",
     TakeAddress},
    {"--port", "-p", "N", Command::None, "the device's command port (default " + std::to_string(protocol::kCommandPort) + ")", TakePort},
    {"--interface", "-i", "ADDR|NAME", Command::None,
     "the local interface to use, by its IPv4 address or by\n"
     "its name as 'interfaces' lists it (default: the first)",
     TakeInterface},
    {"--json", nullptr, nullptr, Command::None, "one JSON object per line instead of text", TakeJson},
    {"--period", nullptr, "start-stop|0.1|1|10", Command::Apply,
     "the count period (seconds, or gated by start/stop)", TakePeriod},
    {"--chatter", nullptr, "off|4..20", Command::Apply, "the chatter filter in milliseconds",
     TakeChatter},
    {"--input", nullptr, "DIn=off|rise|fall", Command::Apply,
     "switch input n off, or count its rising or falling\n"
     "edge; may be given once per input (n=... and all=...\n"
     "are accepted too)",
     TakeInput},
    {"--interval", nullptr, "SECONDS", Command::Read,
     "read every SECONDS (a decimal number above 0) instead\n"
     "of once",
     TakeInterval},
    {"--samples", nullptr, "N", Command::Read,
     "stop after N samples (with --interval; default 0 =\n"
     "until SIGINT or SIGTERM, which end it after the\n"
     "sample in progress)",
     TakeSamples},
    {"--wait", nullptr, "SECONDS", Command::Scan,
     "how long to wait for answers (default 5, the\n"
     "probe's wait)",
     TakeWait},
  };
  return rows;
}

constexpr std::size_t kHelpColumn = 25;

void AppendOptionHelp(std::string& text, const std::string& head, const std::string& help) {
  text += head;
  if (head.size() + 1 < kHelpColumn) {
    text.append(kHelpColumn - head.size(), ' ');
  } else {
    text += "\n" + std::string(kHelpColumn, ' ');
  }
  for (char c : help) {
    text += c;
    if (c == '\n') text.append(kHelpColumn, ' ');
  }
  text += '\n';
}

}  // namespace

std::span<const OptionRow> OptionTable() { return Options(); }

std::string OptionHelp(Command command) {
  std::string text;
  for (const OptionRow& row : Options()) {
    if (row.command != command) continue;
    std::string head = row.shortName ? std::string("  ") + row.shortName + ", " : "      ";
    head += row.longName;
    if (row.valueName) head += std::string(" ") + row.valueName;
    AppendOptionHelp(text, head, row.help);
  }
  if (command == Command::None) {
    AppendOptionHelp(text, "  -h, --help", "this help; 'kestrelctl COMMAND --help' for a command");
    AppendOptionHelp(text, "      --version", "the version number");
  }
  return text;
}

}  // namespace kestrel::cli
