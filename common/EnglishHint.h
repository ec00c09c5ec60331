#pragma once
// The window's operator texts are Japanese. Programs that show them to
// people reading English (the command-line tool, the collector's status
// page) show them unchanged, so logs and screens match the window, and add
// one short English line saying what happened and what to try.
#include <string>
#include <string_view>

namespace kestrel {

// The English line for an operator text (trailing line breaks ignored); empty
// for a text without one, such as a program's own English messages.
std::string EnglishHint(std::string_view message);

// What the hint for a machine without a usable interface offers instead:
// on Linux the demo network of the source tree, on Windows (whose zip holds
// no simulator) the device's own network. One file per platform.
const char* NoInterfaceAdvice();

}  // namespace kestrel
