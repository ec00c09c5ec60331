#include "common/Protocol.h"

#include <cstdio>

#include "common/Blank.h"

namespace kestrel::protocol {

namespace {
int HexValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::uint32_t ParseCounterText(const std::uint8_t* text, std::size_t length) {
  std::size_t i = 0;
  while (i < length && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < length && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // "0x" counts as a prefix only when a hexadecimal digit follows it.
  if (i + 2 < length && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      HexValue(text[i + 2]) >= 0)
    i += 2;
  std::uint32_t value = 0;
  bool overflow = false;
  bool anyDigit = false;
  for (; i < length; ++i) {
    const int digit = HexValue(text[i]);
    if (digit < 0) break;
    anyDigit = true;
    if (value > 0x0FFFFFFFu) overflow = true;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  if (!anyDigit) return 0;
  if (overflow) return 0xFFFFFFFFu;
  return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

std::string FormatCounterText(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return text;
}

}  // namespace kestrel::protocol
