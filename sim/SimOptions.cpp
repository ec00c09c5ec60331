#include "sim/SimOptions.h"

#include <arpa/inet.h>

#include <charconv>
#include <functional>
#include <optional>

#include "common/Protocol.h"
#include "common/SettingWords.h"

namespace kestrel::sim {

namespace {

// Consecutive addresses from --bind: a /16 of them. The descriptor limit is
// checked at start, since it usually binds first.
constexpr std::uint64_t kMaxDevices = 65536;

// How an option takes its argument.
enum class Arg {
  None,      // --flag
  Required,  // --name VALUE or --name=VALUE
  Count,     // --fault or --fault=N (only the = form, so that no word is swallowed)
};

// Empty result: accepted; otherwise the reason, shown after the option name.
using Apply = std::function<std::string(SimConfig&, const std::string&)>;

struct OptionDef {
  const char* name;
  Arg arg;
  const char* valueName;
  std::string help;
  Apply apply;
};

std::optional<std::uint64_t> ParseNumber(const std::string& text, std::uint64_t max) {
  std::uint64_t value = 0;
  int base = 10;
  std::size_t start = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    start = 2;
  }
  const char* first = text.data() + start;
  const char* last = text.data() + text.size();
  if (first == last) return std::nullopt;
  const auto [end, ec] = std::from_chars(first, last, value, base);
  if (ec != std::errc{} || end != last || value > max) return std::nullopt;
  return value;
}

// Pulses per second with up to three decimals, in thousandths.
std::optional<std::uint64_t> ParseRate(const std::string& text) {
  const std::size_t dot = text.find('.');
  const std::string whole = text.substr(0, dot);
  std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
  if (whole.empty() || fraction.size() > 3 || (dot != std::string::npos && fraction.empty()))
    return std::nullopt;
  for (char c : whole + fraction)
    if (c < '0' || c > '9') return std::nullopt;
  fraction.resize(3, '0');
  const auto w = ParseNumber(whole, kMaxRateMilliHz / 1000);
  const auto f = ParseNumber(fraction, 999);
  if (!w || !f) return std::nullopt;
  const std::uint64_t milli = *w * 1000 + *f;
  if (milli > kMaxRateMilliHz) return std::nullopt;
  return milli;
}

std::string ApplyPort(std::uint16_t& port, const std::string& v) {
  const auto n = ParseNumber(v, 65535);
  if (!n) return "expects a port number 0 to 65535";
  port = static_cast<std::uint16_t>(*n);
  return {};
}

// "INPUT=VALUE" for one input (DIn or n, 1 to 8) or all of them: calls `set`
// for each input meant.
std::string ApplyPerInput(SimConfig& c, const std::string& v,
                          const std::function<bool(InputSetup&, const std::string&)>& set) {
  const auto assignment = SplitInputAssignment(v);
  if (!assignment) return "expects INPUT=VALUE (INPUT DI1 to DI8, 1 to 8 or all)";
  const std::string value(assignment->value);
  for (std::size_t i = 0; i < kMaxInputs; ++i)
    if ((assignment->inputs & (1u << i)) && !set(c.inputs[i], value))
      return "has an invalid value \"" + value + "\"";
  return {};
}

std::optional<protocol::CommandLetters> ParseCommandName(const std::string& text) {
  if (text == "any") return protocol::CommandLetters{0, 0};
  using namespace protocol;
  for (const CommandLetters& c : {kIdentify, kReadPulseMode, kReadGate, kReadInputMode,
                                  kWriteInputMode, kReadCounter, kWritePulseMode, kWriteGate}) {
    if (text.size() == 2 && static_cast<std::uint8_t>(text[0]) == c[0] &&
        static_cast<std::uint8_t>(text[1]) == c[1])
      return c;
  }
  return std::nullopt;
}

// Faults with a value: "VALUE[:N]".
Apply FaultWithValue(FaultKind kind, std::uint64_t maxValue) {
  return [kind, maxValue](SimConfig& c, const std::string& v) -> std::string {
    FaultSetting& f = c.fault(kind);
    const std::size_t colon = v.find(':');
    const std::string value = v.substr(0, colon);
    if (colon != std::string::npos) {
      const auto times = ParseNumber(v.substr(colon + 1), UINT32_MAX);
      if (!times || *times == 0) return "expects a count of 1 or more after ':'";
      f.times = static_cast<std::uint32_t>(*times);
    }
    if (kind == FaultKind::NoReply || kind == FaultKind::EndlessReply) {
      const auto command = ParseCommandName(value);
      if (!command) return "expects a command (MI PJ PP PH PC PG PL PS) or any";
      f.command = *command;
    } else {
      const auto n = ParseNumber(value, maxValue);
      if (!n || (kind == FaultKind::CloseAfter && *n == 0))
        return "expects a number up to " + std::to_string(maxValue);
      f.value = static_cast<std::uint32_t>(*n);
    }
    f.on = true;
    return {};
  };
}

// Faults without a value: "--fault" or "--fault=N".
Apply FaultFlag(FaultKind kind) {
  return [kind](SimConfig& c, const std::string& v) -> std::string {
    FaultSetting& f = c.fault(kind);
    if (!v.empty()) {
      const auto times = ParseNumber(v, UINT32_MAX);
      if (!times || *times == 0) return "expects a count of 1 or more";
      f.times = static_cast<std::uint32_t>(*times);
    }
    f.on = true;
    return {};
  };
}

const std::vector<OptionDef>& Options() {
  static const std::vector<OptionDef> options{
      {"--bind", Arg::Required, "ADDR",
       "IPv4 address of every socket (default 127.0.0.1). The simulator listens\n"
       "and answers on this address only.",
       [](SimConfig& c, const std::string& v) -> std::string {
         in_addr a{};
         if (inet_pton(AF_INET, v.c_str(), &a) != 1) return "expects a dotted IPv4 address";
         c.bindAddress = v;
         return {};
       }},
      {"--port", Arg::Required, "N",
       "TCP command port (default " + std::to_string(protocol::kCommandPort) + "; 0 lets the system choose, the ready\n"
       "line tells which).",
       [](SimConfig& c, const std::string& v) { return ApplyPort(c.commandPort, v); }},
      {"--config-port", Arg::Required, "N", "TCP configuration port (default " + std::to_string(protocol::kConfigPort) + "; 0 as above).",
       [](SimConfig& c, const std::string& v) { return ApplyPort(c.configPort, v); }},
      {"--discovery-port", Arg::Required, "N", "UDP discovery port (default " + std::to_string(protocol::kProbePort) + "; 0 as above).",
       [](SimConfig& c, const std::string& v) { return ApplyPort(c.discoveryPort, v); }},
      {"--model", Arg::Required, "N",
       "model index 0 to 31 except 15, which the identify reply cannot express\n"
       "(default 21, eight inputs).",
       [](SimConfig& c, const std::string& v) -> std::string {
         const auto n = ParseNumber(v, 31);
         if (!n || *n == 15) return "expects 0 to 14 or 16 to 31";
         c.modelIndex = static_cast<std::int32_t>(*n);
         return {};
       }},
      {"--unit", Arg::Required, "N", "unit number 0 to 15 (default 0).",
       [](SimConfig& c, const std::string& v) -> std::string {
         const auto n = ParseNumber(v, 15);
         if (!n) return "expects 0 to 15";
         c.unitId = static_cast<std::int32_t>(*n);
         return {};
       }},
      {"--product-code", Arg::Required, "XY",
       "the two characters at bytes 8 and 9 of the discovery answer (default X6).",
       [](SimConfig& c, const std::string& v) -> std::string {
         if (v.size() != 2) return "expects exactly two characters";
         c.productCode = {v[0], v[1]};
         return {};
       }},
      {"--text", Arg::Required, "TEXT",
       "text field of the F4 answer, at most 17 bytes (default \"KESTREL-SIM GC\").",
       [](SimConfig& c, const std::string& v) -> std::string {
         if (v.size() > 17) return "expects at most 17 bytes";
         c.text = v;
         return {};
       }},
      {"--mode", Arg::Required, "VALUE",
       "value of MODE in the configuration dump (default 0; 1 is the\n"
       "spontaneous-notification mode that the tool refuses).",
       [](SimConfig& c, const std::string& v) -> std::string {
         if (v.find_first_of("\r\n") != std::string::npos || v.size() > 255)
           return "expects one line of at most 255 bytes";
         c.modeValue = v;
         return {};
       }},
      {"--period", Arg::Required, "start-stop|0.1|1|10", "count period at power-up (default 0.1).",
       [](SimConfig& c, const std::string& v) -> std::string {
         const auto period = CountPeriodFromWord(v);
         if (!period) return "expects start-stop, 0.1, 1 or 10";
         c.countPeriod = *period;
         return {};
       }},
      {"--chatter", Arg::Required, "off|4..20", "chatter filter in ms at power-up (default off).",
       [](SimConfig& c, const std::string& v) -> std::string {
         const auto code = ChatterCodeFromWord(v);
         if (!code) return "expects off or 4 to 20";
         c.chatterCode = *code;
         return {};
       }},
      {"--counting", Arg::Required, "on|off", "pulse counting at power-up (default on).",
       [](SimConfig& c, const std::string& v) -> std::string {
         if (v != "on" && v != "off") return "expects on or off";
         c.countingOn = v == "on";
         return {};
       }},
      {"--gate", Arg::Required, "run|stop", "START-STOP gate at power-up (default stop).",
       [](SimConfig& c, const std::string& v) -> std::string {
         if (v != "run" && v != "stop") return "expects run or stop";
         c.gateRunning = v == "run";
         return {};
       }},
      {"--input", Arg::Required, "DI=off|rise|fall",
       "setting of input DI (DI1 to DI8, 1 to 8, or all) at power-up (default\n"
       "rise for all).",
       [](SimConfig& c, const std::string& v) {
         return ApplyPerInput(c, v, [](InputSetup& in, const std::string& s) {
           const auto mode = InputModeFromWord(s);
           if (!mode) return false;
           in.enabled = mode->enabled;
           in.edge = mode->edge;
           return true;
         });
       }},
      {"--rate", Arg::Required, "DI=PPS",
       "pulses per second on input DI (DI1 to DI8, 1 to 8, or all), 0 to 100000\n"
       "with up to three decimals (defaults 1 2 3 5 8 13 21 34 for DI1 to DI8).",
       [](SimConfig& c, const std::string& v) {
         return ApplyPerInput(c, v, [](InputSetup& in, const std::string& s) {
           const auto rate = ParseRate(s);
           if (rate) in.rateMilliHz = *rate;
           return rate.has_value();
         });
       }},
      {"--start-count", Arg::Required, "DI=VALUE",
       "counter of input DI (DI1 to DI8, 1 to 8, or all) at power-up, decimal or\n"
       "0x-hex (default 0).",
       [](SimConfig& c, const std::string& v) {
         return ApplyPerInput(c, v, [](InputSetup& in, const std::string& s) {
           const auto n = ParseNumber(s, UINT32_MAX);
           if (n) in.startCount = static_cast<std::uint32_t>(*n);
           return n.has_value();
         });
       }},
      {"--devices", Arg::Required, "N",
       "simulate N devices (1 to 65536) on N consecutive addresses from --bind,\n"
       "each with its own settings, counters and faults, all on one event loop;\n"
       "the addresses must be local. Each device holds 2 descriptors (3 for\n"
       "models from 24 on, whose configuration port is opened: in a fleet only\n"
       "they have one), and 1 more per connection. The log then puts each\n"
       "device's address before PEER.",
       [](SimConfig& c, const std::string& v) -> std::string {
         const auto n = ParseNumber(v, kMaxDevices);
         if (!n || *n == 0) return "expects a number from 1 to " + std::to_string(kMaxDevices);
         c.devices = static_cast<std::uint32_t>(*n);
         return {};
       }},
      {"--answer-broadcast", Arg::None, nullptr,
       "also answer discovery queries sent as a broadcast, as a real device\n"
       "does (a second socket on the wildcard address, same port).",
       [](SimConfig& c, const std::string&) -> std::string {
         c.answerBroadcast = true;
         return {};
       }},
      {"--reset-counters-at", Arg::Required, "MS",
       "set every counter back to 0 once, MS milliseconds after start (a\n"
       "device restarted by its owner).",
       [](SimConfig& c, const std::string& v) -> std::string {
         const auto n = ParseNumber(v, 1'000'000'000);
         if (!n) return "expects milliseconds";
         c.resetCountersAtMs = static_cast<std::int64_t>(*n);
         return {};
       }},
      {"--verbose", Arg::None, nullptr,
       "log every request, reply and connection on standard error.",
       [](SimConfig& c, const std::string&) -> std::string {
         c.verbose = true;
         return {};
       }},
      // Faults. Each clears itself after N strikes when given a count.
      {"--reply-delay", Arg::Required, "MS[:N]", "hold every reply back for MS milliseconds.",
       FaultWithValue(FaultKind::ReplyDelay, 3'600'000)},
      {"--no-reply", Arg::Required, "CMD[:N]",
       "do not answer the command CMD (MI PJ PP PH PC PG PL PS, or any); the\n"
       "command still takes effect.",
       FaultWithValue(FaultKind::NoReply, 0)},
      {"--stray-frame", Arg::Count, nullptr,
       "send the frame 7A 7A 20 C8 (other echo letters) before each reply.",
       FaultFlag(FaultKind::StrayFrame)},
      {"--greeting", Arg::Count, nullptr,
       "send \"KESTREL-SIM\\r\\n\" on every new command connection.",
       FaultFlag(FaultKind::Greeting)},
      {"--one-byte-segments", Arg::Count, nullptr,
       "send each reply one byte per TCP segment, 2 ms apart.",
       FaultFlag(FaultKind::OneByteSegments)},
      {"--endless-reply", Arg::Required, "CMD[:N]",
       "answer CMD (or any) with its echo letters followed by 64 KiB of digits\n"
       "without the terminator; the command still takes effect.",
       FaultWithValue(FaultKind::EndlessReply, 0)},
      {"--close-after", Arg::Required, "K[:N]",
       "close a command connection right after its K-th understood command\n"
       "(and its reply, if any).",
       FaultWithValue(FaultKind::CloseAfter, UINT32_MAX)},
      {"--config-refuse", Arg::Count, nullptr,
       "the configuration port refuses connections (nothing listens). With N it\n"
       "starts listening when the (N+1)-th command connection arrives, so the\n"
       "tool's first N connection attempts find it refused.",
       FaultFlag(FaultKind::ConfigRefuse)},
      {"--config-no-end", Arg::Count, nullptr,
       "answer the dump query without the closing END lines and go quiet.",
       FaultFlag(FaultKind::ConfigNoEnd)},
      {"--discovery-silent", Arg::Count, nullptr, "answer no discovery datagram.",
       FaultFlag(FaultKind::DiscoverySilent)},
      {"--discovery-other-port", Arg::Count, nullptr,
       "answer discovery datagrams from a second socket on another port of the\n"
       "bind address (which also answers queries sent to it).",
       FaultFlag(FaultKind::DiscoveryOtherPort)},
      {"--discovery-oversize", Arg::Count, nullptr,
       "make each discovery answer 16 bytes longer than its receive buffer.",
       FaultFlag(FaultKind::DiscoveryOversize)},
      {"--help", Arg::None, nullptr, "show this text and exit.",
       [](SimConfig&, const std::string&) -> std::string { return {}; }},
      {"--version", Arg::None, nullptr, "show the version and exit.",
       [](SimConfig&, const std::string&) -> std::string { return {}; }},
  };
  return options;
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  auto fail = [&parsed](const std::string& message) {
    parsed.outcome = OptionOutcome::Error;
    parsed.error = message;
    return parsed;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inlineValue;
    if (name == "-h") name = "--help";
    if (name == "-v") name = "--verbose";
    if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    const OptionDef* def = nullptr;
    for (const OptionDef& d : Options())
      if (name == d.name) def = &d;
    if (def == nullptr) return fail("unknown option " + args[i] + " (see --help)");
    if (name == "--help" || name == "--version") {
      parsed.outcome = name == "--help" ? OptionOutcome::Help : OptionOutcome::Version;
      return parsed;
    }
    std::string value;
    switch (def->arg) {
      case Arg::None:
        if (inlineValue) return fail(name + " takes no value");
        break;
      case Arg::Count:
        value = inlineValue.value_or("");
        break;
      case Arg::Required:
        if (inlineValue) {
          value = *inlineValue;
        } else if (i + 1 < args.size()) {
          value = args[++i];
        } else {
          return fail(name + " needs a value " + def->valueName);
        }
        break;
    }
    if (const std::string why = def->apply(parsed.config, value); !why.empty())
      return fail(name + " " + why);
  }
  return parsed;
}

std::string HelpText() {
  std::string text =
      "Usage: kestrel-sim [OPTION]...\n"
      "Simulated pulse-counter device: answers discovery on UDP, the two-letter\n"
      "commands on the command port and the DUMP query on the configuration port.\n"
      "Prints one ready line on standard output once every socket is open, and\n"
      "ends on SIGINT or SIGTERM.\n"
      "\n"
      "Options (VALUE may also be given as --option=VALUE):\n";
  bool faultsHeaderShown = false;
  for (const OptionDef& d : Options()) {
    if (!faultsHeaderShown && std::string(d.name) == "--reply-delay") {
      text +=
          "\nFaults (each strikes every time; with :N or =N it strikes N times and\n"
          "then clears itself):\n";
      faultsHeaderShown = true;
    }
    std::string head = std::string("  ") + d.name;
    if (d.arg == Arg::Required) head += std::string(" ") + d.valueName;
    if (d.arg == Arg::Count) head += "[=N]";
    if (std::string(d.name) == "--help") head = "  -h, --help";
    if (std::string(d.name) == "--verbose") head = "  -v, --verbose";
    text += head + "\n";
    std::string help = d.help;
    std::size_t start = 0;
    while (start < help.size()) {
      const std::size_t end = help.find('\n', start);
      text += "      " + help.substr(start, end - start) + "\n";
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  text +=
      "\nVerbose log lines: HH:MM:SS.mmm PEER DIR DATA, PEER being \"client N\",\n"
      "\"config N\" or \"udp A.B.C.D:P\", DIR \"<-\" received, \"->\" sent (bytes in\n"
      "upper-case hex) or \"--\" an event in words.\n"
      "\n"
      "kestrelctl and the window never use a loopback interface, so they cannot\n"
      "reach the simulator on 127.0.0.1. Run them in a private network with a\n"
      "veth pair instead (as an ordinary user; nothing outside it changes): in\n"
      "the shell that 'unshare -rn bash' opens, run\n"
      "  ip link set lo up; ip link add veth0 type veth peer name veth1;\n"
      "  ip addr add 10.77.0.1/24 dev veth0; ip addr add 10.77.0.2/24 dev veth1;\n"
      "  ip link set veth0 up; ip link set veth1 up;\n"
      "  kestrel-sim --bind 10.77.0.2 & sleep 1; kestrelctl -a 10.77.0.2 info\n"
      "In the source tree, 'bash scripts/run.sh --shell' opens such a shell.\n";
  return text;
}

}  // namespace kestrel::sim
