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

}  // namespace kestrel
