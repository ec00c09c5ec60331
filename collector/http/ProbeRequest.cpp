#include "collector/http/ProbeRequest.h"

#include <charconv>

namespace kestrel::collector {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%') {
      const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
      const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A decimal number of at most `maxDigits` digits without a leading zero
// (except "0" itself), at most `max`.
std::optional<std::uint32_t> Decimal(std::string_view text, std::size_t maxDigits, std::uint32_t max) {
  if (text.empty() || text.size() > maxDigits || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
  return value;
}

std::optional<std::uint32_t> DottedQuad(std::string_view text) {
  std::uint32_t address = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = part < 3 ? text.find('.') : text.size();
    if (dot == std::string_view::npos) return std::nullopt;
    const auto value = Decimal(text.substr(0, dot), 3, 255);
    if (!value) return std::nullopt;
    address = address << 8 | *value;
    text.remove_prefix(part < 3 ? dot + 1 : dot);
  }
  return address;
}

std::string FormatDotted(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xFF) + "." +
         std::to_string(address >> 8 & 0xFF) + "." + std::to_string(address & 0xFF);
}

}  // namespace

std::optional<std::string> QueryValue(std::string_view query, std::string_view name) {
  const auto values = QueryValues(query, name, 1);
  if (!values || values->empty()) return std::nullopt;
  return values->front();
}

std::optional<std::vector<std::string>> QueryValues(std::string_view query, std::string_view name,
                                                    std::size_t most) {
  std::vector<std::string> values;
  while (!query.empty() && values.size() < most) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
    const std::size_t eq = pair.find('=');
    const auto key = Unescape(pair.substr(0, eq));
    if (!key || *key != name) continue;
    auto value = Unescape(eq == std::string_view::npos ? std::string_view{} : pair.substr(eq + 1));
    if (!value) return std::nullopt;
    values.push_back(std::move(*value));
  }
  return values;
}

std::optional<ProbeTarget> ParseProbeTarget(std::string_view text, std::uint16_t defaultPort) {
  ProbeTarget target;
  target.port = defaultPort;
  if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    const auto port = Decimal(text.substr(colon + 1), 5, 65535);
    if (!port || *port == 0) return std::nullopt;
    target.port = static_cast<std::uint16_t>(*port);
    text = text.substr(0, colon);
  }
  const auto address = DottedQuad(text);
  if (!address) return std::nullopt;
  target.address = *address;
  target.addressText = FormatDotted(*address);
  return target;
}

std::optional<Cidr> ParseCidr(std::string_view text) {
  std::uint32_t length = 32;
  if (const std::size_t slash = text.find('/'); slash != std::string_view::npos) {
    const auto value = Decimal(text.substr(slash + 1), 2, 32);
    if (!value) return std::nullopt;
    length = *value;
    text = text.substr(0, slash);
  }
  const auto address = DottedQuad(text);
  if (!address) return std::nullopt;
  const std::uint32_t mask = length == 0 ? 0 : ~std::uint32_t{0} << (32 - length);
  return NetworkOf(*address, mask);
}

Cidr NetworkOf(std::uint32_t address, std::uint32_t mask) { return Cidr{address & mask, mask}; }

std::string FormatCidr(const Cidr& cidr) {
  int length = 0;
  for (std::uint32_t m = cidr.mask; m & 0x80000000u; m <<= 1) ++length;
  return FormatDotted(cidr.network) + "/" + std::to_string(length);
}

bool AnyContains(const std::vector<Cidr>& networks, std::uint32_t address) {
  for (const Cidr& n : networks)
    if (n.Contains(address)) return true;
  return false;
}

}  // namespace kestrel::collector
