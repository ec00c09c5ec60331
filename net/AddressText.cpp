#include "net/AddressText.h"

#include <array>
#include <cstring>

#include "common/Blank.h"
#include "net/Socket.h"

namespace kestrel::net {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c, int base) {
  int v = -1;
  if (IsDigit(c))
    v = c - '0';
  else if (c >= 'a' && c <= 'f')
    v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F')
    v = c - 'A' + 10;
  return v >= 0 && v < base ? v : -1;
}

// One number of a dotted address: "0x" then hexadecimal, a leading 0 then
// octal, else decimal. Advances `i` past it; nullopt when there is no number
// or it does not fit 32 bits.
std::optional<std::uint32_t> ParsePart(const std::string& text, std::size_t& i) {
  if (i >= text.size() || !IsDigit(text[i])) return std::nullopt;
  int base = 10;
  if (text[i] == '0') {
    base = 8;
    if (i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
      base = 16;
      i += 2;
      if (i >= text.size() || DigitValue(text[i], 16) < 0) return std::nullopt;
    }
  }
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' || IsBlank(c)) break;
    const int digit = DigitValue(c, base);
    if (digit < 0) return std::nullopt;  // 8 or 9 in octal, or any other character
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

bool OnlyDigitsAndDots(const std::string& text) {
  for (char c : text)
    if (!IsDigit(c) && c != '.') return false;
  return true;
}

}  // namespace

// Trailing blanks are accepted (the classic conversion stops at white space)
// but nothing may follow them; leading blanks are not accepted.
std::optional<std::uint32_t> ParseDottedAddress(const std::string& text) {
  std::array<std::uint32_t, 4> parts{};
  std::size_t count = 0;
  std::size_t i = 0;
  for (;;) {
    const auto part = ParsePart(text, i);
    if (!part) return std::nullopt;
    parts[count++] = *part;
    if (i < text.size() && text[i] == '.') {
      if (count == parts.size()) return std::nullopt;
      ++i;
      continue;
    }
    break;
  }
  for (; i < text.size(); ++i)
    if (!IsBlank(text[i])) return std::nullopt;

  // The last part fills all the bytes that the earlier parts leave.
  std::uint32_t host = 0;
  for (std::size_t k = 0; k + 1 < count; ++k) {
    if (parts[k] > 0xFF) return std::nullopt;
    host |= parts[k] << (24 - 8 * k);
  }
  const std::uint32_t lastMax = count == 1 ? 0xFFFFFFFFu : (0xFFFFFFFFu >> (8 * (count - 1)));
  if (parts[count - 1] > lastMax) return std::nullopt;
  host |= parts[count - 1];

  const std::array<std::uint8_t, 4> bytes{
      static_cast<std::uint8_t>(host >> 24), static_cast<std::uint8_t>(host >> 16),
      static_cast<std::uint8_t>(host >> 8), static_cast<std::uint8_t>(host)};
  std::uint32_t network = 0;
  std::memcpy(&network, bytes.data(), sizeof network);
  return network;
}

std::optional<std::uint32_t> ResolveDeviceAddress(const std::string& text) {
  if (auto dotted = ParseDottedAddress(text)) return dotted;
  // Digits and dots that are not a valid address are a mistyped address, not a
  // host name: asking the resolver would only send it out on the network.
  if (text.empty() || OnlyDigitsAndDots(text)) return std::nullopt;
  return ResolveHostV4(text);
}

std::string FormatAddress(std::uint32_t networkOrder) {
  std::array<std::uint8_t, 4> bytes{};
  std::memcpy(bytes.data(), &networkOrder, sizeof networkOrder);
  std::string text;
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    if (k > 0) text += '.';
    text += std::to_string(bytes[k]);
  }
  return text;
}

}  // namespace kestrel::net
