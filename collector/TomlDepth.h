#pragma once
// How deep a TOML text nests, found before it is parsed: the parser descends
// once per dotted-key part, table-header part and bracket, on the stack, so a
// file of thousands of levels would overflow it instead of being refused.
#include <cstddef>
#include <optional>
#include <string_view>

namespace kestrel::collector {

// Far beyond what any configuration needs, far below what the stack holds.
inline constexpr std::size_t kMaxTomlNesting = 64;

// The line (from 1) where the nesting first passes `limit`, counting the
// open brackets and braces and the dots of the key being written; nullopt
// when it never does. Strings and comments are skipped. It may count a
// little more than the parser nests (a header's brackets), never less.
std::optional<std::size_t> LineNestedTooDeep(std::string_view text, std::size_t limit = kMaxTomlNesting);

}  // namespace kestrel::collector
