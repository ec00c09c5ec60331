#pragma once
#include <string>

#include "cli/Options.h"

namespace kestrel::cli {

// The text of `kestrelctl --help` (Command::None) or `kestrelctl COMMAND --help`.
std::string HelpText(Command command);

}  // namespace kestrel::cli
