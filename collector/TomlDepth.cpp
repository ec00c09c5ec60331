#include "collector/TomlDepth.h"

namespace kestrel::collector {

namespace {

// Moves `i` past the string that opens at it ('...', "...", '''...''' or
// """..."""), counting the lines it spans. A one-line string left open ends
// before its line break: the parser says what is wrong with it.
void SkipString(std::string_view text, std::size_t& i, std::size_t& line) {
  const char quote = text[i];
  const bool multi = text.substr(i, 3) == std::string_view(quote == '"' ? "\"\"\"" : "'''");
  const std::string_view close = text.substr(i, multi ? 3 : 1);
  i += close.size();
  while (i < text.size()) {
    if (quote == '"' && text[i] == '\\') {  // an escape; in a long string it may end the line
      if (i + 1 < text.size() && text[i + 1] == '\n') ++line;
      i += 2;
      continue;
    }
    if (text[i] == '\n') {
      if (!multi) return;
      ++line;
    } else if (text.substr(i, close.size()) == close) {
      i += close.size();
      return;
    }
    ++i;
  }
}

}  // namespace

std::optional<std::size_t> LineNestedTooDeep(std::string_view text, std::size_t limit) {
  std::size_t line = 1;
  std::size_t brackets = 0;  // '[' and '{' open now
  std::size_t dots = 0;      // of the key being written: since the last line break, '=' or ','
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '"' || c == '\'') {
      SkipString(text, i, line);
      continue;
    }
    if (c == '#') {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    if (c == '\n') ++line, dots = 0;
    else if (c == '=' || c == ',') dots = 0;
    else if (c == '.') ++dots;
    else if (c == '[' || c == '{') ++brackets;
    else if ((c == ']' || c == '}') && brackets > 0) --brackets;
    if (brackets + dots > limit) return line;
    ++i;
  }
  return std::nullopt;
}

}  // namespace kestrel::collector
