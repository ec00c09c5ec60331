#include "collector/Config.h"

#include <arpa/inet.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "collector/CsvFileName.h"
#include "collector/DeviceName.h"
#include "net/AddressText.h"

namespace kestrel::collector {

std::optional<std::chrono::milliseconds> ParseSeconds(const std::string& text, double min,
                                                      double max) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
  if (ec != std::errc() || ptr != end || !std::isfinite(value) || value < min || value > max)
    return std::nullopt;
  return std::chrono::milliseconds(std::llround(value * 1000));
}

std::optional<int> ParseKeepDays(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < 1 || value > kMaxKeepDays) return std::nullopt;
  return value;
}

std::optional<std::string> CanonicalAddress(const std::string& text) {
  // Four decimal parts only: the classic short and octal forms are legal for
  // the window's entry, but in a file they are more likely a typing error.
  int parts = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = text.find('.', start);
    const std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    // A leading zero would read as octal by the classic rules: refused.
    if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
        (part.size() > 1 && part[0] == '0'))
      return std::nullopt;
    if (std::atoi(part.c_str()) > 255) return std::nullopt;
    ++parts;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (parts != 4) return std::nullopt;
  const std::optional<std::uint32_t> address = net::ParseDottedAddress(text);
  if (!address) return std::nullopt;
  return net::FormatAddress(*address);
}

std::optional<std::string> NotADeviceAddress(const std::string& canonical) {
  // A connection to any of these reaches no single device: 0.0.0.0 means
  // this host, the others many hosts or none.
  const std::optional<std::uint32_t> network = net::ParseDottedAddress(canonical);
  if (!network) return "'" + canonical + "' is not an IPv4 address (a.b.c.d)";
  const std::uint32_t address = ntohl(*network);
  if (address == 0) return "'" + canonical + "' is the unspecified address, not a device's";
  if (address == 0xFFFFFFFFu) return "'" + canonical + "' is the broadcast address, not a device's";
  if ((address >> 28) == 0xE) return "'" + canonical + "' is a multicast address, not a device's";
  return std::nullopt;
}

namespace {
std::optional<std::uint16_t> ParsePort(const std::string& text) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < 1 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}
}  // namespace

std::string DefaultName(const DeviceRef& device) {
  if (device.port == kDefaultPort) return device.address;
  return device.address + ":" + std::to_string(device.port);
}

std::optional<DeviceConfig> ParseDeviceArgument(const std::string& text, std::string& error) {
  DeviceConfig config;
  config.origin = "--device " + text;
  std::string where = text;
  if (const std::size_t eq = text.find('='); eq != std::string::npos) {
    config.device.name = text.substr(eq + 1);
    where = text.substr(0, eq);
    if (config.device.name.empty()) {
      error = "--device " + text + ": empty name after '='";
      return std::nullopt;
    }
    // Said without the name: its bytes are what cannot be shown.
    if (auto why = NotADeviceName(config.device.name)) {
      error = "--device " + where + "=...: " + *why;
      return std::nullopt;
    }
  }
  std::string address = where;
  config.device.port = kDefaultPort;
  if (const std::size_t colon = where.find(':'); colon != std::string::npos) {
    address = where.substr(0, colon);
    const std::optional<std::uint16_t> port = ParsePort(where.substr(colon + 1));
    if (!port) {
      error = "--device " + text + ": the port must be a number from 1 to 65535";
      return std::nullopt;
    }
    config.device.port = *port;
  }
  const std::optional<std::string> canonical = CanonicalAddress(address);
  if (!canonical) {
    error = "--device " + text + ": '" + address + "' is not an IPv4 address (a.b.c.d)";
    return std::nullopt;
  }
  if (auto why = NotADeviceAddress(*canonical)) {
    error = "--device " + text + ": " + *why;
    return std::nullopt;
  }
  config.device.address = *canonical;
  if (config.device.name.empty()) config.device.name = DefaultName(config.device);
  return config;
}

std::string NothingConfiguredText(const std::vector<std::string>& files) {
  std::string names;
  for (const std::string& file : files) names += (names.empty() ? "" : ", ") + file;
  return "nothing configured yet: " + names + (files.size() == 1 ? " lists" : " list") +
         " no device.\nAdd a [[device]] table with the address of each device to poll (the file's"
         " comments show how),\nthen start the collector again (as a service: systemctl restart"
         " kestrel-collector).\n";
}

std::optional<std::string> CheckDevicesUnique(const CollectorConfig& config) {
  std::map<std::pair<std::string, std::uint16_t>, std::string> places;
  std::map<std::string, std::string> names;
  std::map<std::string, const DeviceConfig*> stems;  // CSV file names
  for (const DeviceConfig& d : config.devices) {
    const auto [at, fresh] = places.emplace(std::make_pair(d.device.address, d.device.port), d.origin);
    if (!fresh)
      return d.origin + ": device " + d.device.address + ":" + std::to_string(d.device.port) +
             " is already given (" + at->second + "); one connection per device";
    const auto [named, newName] = names.emplace(d.device.name, d.origin);
    if (!newName)
      return d.origin + ": the name '" + d.device.name + "' is already used (" + named->second + ")";
    if (!config.csvDir) continue;
    const std::string stem = CsvFileStem(d.device.name);
    const auto [same, newStem] = stems.emplace(stem, &d);
    if (!newStem)
      return d.origin + ": the CSV files of '" + d.device.name + "' would be those of '" +
             same->second->device.name + "' (" + same->second->origin + "): " + stem +
             "-DATE.csv; give one of them another name";
  }
  return std::nullopt;
}

}  // namespace kestrel::collector
