#pragma once
// The command line: global options, one command and that command's options.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/DeviceState.h"
#include "common/Protocol.h"

namespace kestrel::cli {

enum class Command { None, Interfaces, Probe, Info, Apply, Start, Stop, Read, Scan };

// One --input DIn=... choice.
struct InputChoice {
  std::int32_t enabled = 0;
  std::int32_t edge = 0;  // 0 RISE, 1 FALL
};

// Only the settings named on the command line; the rest stay as read.
struct ApplyRequest {
  std::optional<std::int32_t> countPeriod;
  std::optional<std::int32_t> chatterCode;
  std::array<std::optional<InputChoice>, kMaxInputs> inputs{};  // index 0 = DI1
};

struct ReadRequest {
  std::optional<double> intervalSeconds;  // none: one sample
  std::uint64_t samples = 1;              // 0: until interrupted
};

struct ScanRequest {
  double waitSeconds = 5;  // the probe's own wait
};

struct Invocation {
  std::string address;
  std::string portText = protocol::kCommandPortText;  // as typed; the connect steps judge it again
  std::optional<std::string> interface;
  bool json = false;
  Command command = Command::None;
  bool help = false;  // show the help of `command` (None: the general help)
  bool version = false;  // show the version line
  ApplyRequest apply;
  ReadRequest read;
  ScanRequest scan;
};

struct ParseResult {
  Invocation invocation;
  std::string error;  // empty when the command line is usable
};

// `args` excludes the program name.
ParseResult ParseArguments(const std::vector<std::string>& args);

// The name a command is typed as ("read"); empty for None.
const char* CommandName(Command command);

// Longest interval that `read --interval` accepts, in seconds (about 11 days).
inline constexpr double kMaxIntervalSeconds = 1e6;

}  // namespace kestrel::cli
