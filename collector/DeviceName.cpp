#include "collector/DeviceName.h"

#include <cstdint>

namespace kestrel::collector {

namespace {

// Decodes the UTF-8 sequence at `i` and moves past it; nullopt for an
// overlong form, a surrogate, a value past U+10FFFF or a cut sequence.
std::optional<std::uint32_t> NextCodePoint(const std::string& text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t value = 0;
  std::uint32_t least = 0;  // the smallest value this length may carry
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, least = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() - i < length) return std::nullopt;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
  i += length;
  return value;
}

}  // namespace

std::optional<std::string> NotADeviceName(const std::string& name) {
  std::size_t i = 0;
  while (i < name.size()) {
    const std::size_t at = i + 1;  // counted from 1, in bytes
    const std::optional<std::uint32_t> c = NextCodePoint(name, i);
    if (!c) return "the name is not valid UTF-8 (byte " + std::to_string(at) + ")";
    if (*c < 0x20 || (*c >= 0x7F && *c <= 0x9F))
      return "the name holds a control character (byte " + std::to_string(at) + ")";
  }
  return std::nullopt;
}

}  // namespace kestrel::collector
