#pragma once
#include <string>

#include "cli/Options.h"

namespace kestrel::cli {

// The text of `kestrelctl --help` (Command::None) or `kestrelctl COMMAND --help`.
std::string HelpText(Command command);

// The general help's closing note on loopback interfaces: on Linux it points
// to the simulator, which the Windows zip does not hold. One file per platform.
const char* LoopbackNote();

}  // namespace kestrel::cli
