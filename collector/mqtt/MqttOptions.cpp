#include "collector/mqtt/MqttOptions.h"

#include <charconv>

namespace kestrel::collector {

std::optional<std::pair<std::string, std::uint16_t>> ParseHostPort(const std::string& text,
                                                                  std::uint16_t defaultPort) {
  const std::size_t colon = text.rfind(':');
  std::string host = text.substr(0, colon);
  std::uint16_t port = defaultPort;
  if (colon != std::string::npos) {
    const char* begin = text.data() + colon + 1;
    const char* end = text.data() + text.size();
    unsigned value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || begin == end || value == 0 || value > 65535)
      return std::nullopt;
    port = static_cast<std::uint16_t>(value);
  }
  if (host.empty()) return std::nullopt;
  return std::make_pair(host, port);
}

std::string TopicLevel(const std::string& name) {
  std::string level = name;
  for (char& c : level)
    if (c == '/' || c == '+' || c == '#' || static_cast<unsigned char>(c) < 0x20) c = '_';
  return level.empty() ? "_" : level;
}

}  // namespace kestrel::collector
