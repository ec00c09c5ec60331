#pragma once
// The C locale's white space (space, tab, LF, VT, FF, CR), the one set of
// blanks that every entry and reply parser skips. Bytes of multi-byte
// characters are all 0x80 or above, so a byte-wise skip never cuts into one.
namespace kestrel {

constexpr bool IsBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace kestrel
