#include "cli/TerminalFrontEnd.h"

#include "cli/EnglishHint.h"

namespace kestrel::cli {

void TerminalFrontEnd::ShowMessage(const std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) --end;
  messages_ << text.substr(0, end) << '\n';
  if (const std::string hint = EnglishHint(text); !hint.empty()) messages_ << hint << '\n';
  messages_ << std::flush;
}

}  // namespace kestrel::cli
