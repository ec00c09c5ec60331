#pragma once
// The window's operator texts are Japanese. The command-line tool prints them
// unchanged, so scripts and logs match the window, and follows each with one
// short English line saying what happened and what to try.
#include <string>
#include <string_view>

namespace kestrel::cli {

// The English line for an operator text (trailing line breaks ignored); empty
// for a text without one, such as the tool's own English messages.
std::string EnglishHint(std::string_view message);

}  // namespace kestrel::cli
