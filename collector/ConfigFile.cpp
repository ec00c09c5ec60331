// The TOML configuration file, mapped onto CollectorConfig:
//
//   interval = 1.0            # seconds, for every device without its own
//   interface = "10.0.0.5"    # address or name of the local interface
//   csv_dir = "/var/lib/kestrel"
//   store = "/var/lib/kestrel/counts.db"
//   keep_minutes = 35         # days
//   keep_hours = 3650         # days
//   [[device]]
//   address = "10.0.0.10"     # required
//   port = 10003
//   name = "press-1"
//   interval = 0.5
//   interface = "eth1"
//
// Unknown keys are refused, so that a misspelt key is not silently ignored.
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

#include <toml++/toml.h>

#include "collector/Config.h"
#include "collector/DeviceName.h"
#include "collector/TomlDepth.h"

namespace kestrel::collector {

namespace {

// "'NAME'", built by appending: g++ 12 at -O3 wrongly warns (-Wrestrict)
// about a literal added in front of a temporary string.
std::string Quoted(std::string_view name) {
  std::string text = "'";
  text += name;
  text += '\'';
  return text;
}

class Mapper {
 public:
  Mapper(const std::string& fileName, CollectorConfig& config, const ArgsSet& fromArgs)
      : file_(fileName), config_(config), fromArgs_(fromArgs) {}

  std::optional<std::string> Map(const toml::table& root) {
    for (auto&& [key, node] : root) {
      const std::string_view name = key.str();
      if (name == "interval") {
        const auto v = Seconds(node, key);
        if (!v) return error_;
        if (!fromArgs_.interval) config_.interval = *v;
      } else if (name == "interface") {
        const auto v = Text(node, key);
        if (!v) return error_;
        if (!fromArgs_.interface) config_.interface = *v;
      } else if (name == "csv_dir") {
        const auto v = Text(node, key);
        if (!v) return error_;
        if (!fromArgs_.csvDir) config_.csvDir = *v;
      } else if (name == "store") {
        const auto v = Text(node, key);
        if (!v) return error_;
        if (!fromArgs_.store) config_.store = *v;
      } else if (name == "keep_minutes" || name == "keep_hours") {
        const auto* days = node.as_integer();
        if (days == nullptr || days->get() < 1 || days->get() > kMaxKeepDays)
          return At(node, Quoted(name) + " must be whole days from 1 to " +
                              std::to_string(kMaxKeepDays));
        const int value = static_cast<int>(days->get());
        if (name == "keep_minutes" && !fromArgs_.keepMinutes) config_.keepMinutesDays = value;
        if (name == "keep_hours" && !fromArgs_.keepHours) config_.keepHoursDays = value;
      } else if (name == "device") {
        const toml::array* devices = node.as_array();
        if (devices == nullptr) return At(node, "'device' must be a list of tables ([[device]])");
        for (const toml::node& entry : *devices) {
          const toml::table* table = entry.as_table();
          if (table == nullptr) return At(entry, "each 'device' must be a table ([[device]])");
          if (!Device(*table)) return error_;
        }
      } else {
        return At(key, "unknown key '" + std::string(name) + "'");
      }
    }
    return std::nullopt;
  }

 private:
  bool Device(const toml::table& table) {
    DeviceConfig device;
    device.origin = Where(table.source());
    std::optional<std::string> address;
    device.device.port = kDefaultPort;
    for (auto&& [key, node] : table) {
      const std::string_view name = key.str();
      if (name == "address") {
        const auto v = Text(node, key);
        if (!v) return false;
        address = CanonicalAddress(*v);
        if (!address) return Fail(node, Quoted(*v) + " is not an IPv4 address (a.b.c.d)");
        if (auto why = NotADeviceAddress(*address)) return Fail(node, *why);
      } else if (name == "port") {
        const auto* port = node.as_integer();
        if (port == nullptr || port->get() < 1 || port->get() > 65535)
          return Fail(node, "'port' must be a number from 1 to 65535");
        device.device.port = static_cast<std::uint16_t>(port->get());
      } else if (name == "name") {
        const auto v = Text(node, key);
        if (!v) return false;
        if (v->empty()) return Fail(node, "'name' must not be empty");
        if (auto why = NotADeviceName(*v)) return Fail(node, *why);
        device.device.name = *v;
      } else if (name == "interval") {
        device.interval = Seconds(node, key);
        if (!device.interval) return false;
      } else if (name == "interface") {
        device.interface = Text(node, key);
        if (!device.interface) return false;
      } else {
        return Fail(key, "unknown key '" + std::string(name) + "' in [[device]]");
      }
    }
    if (!address) return Fail(table, "[[device]] without 'address'");
    device.device.address = *address;
    if (device.device.name.empty()) device.device.name = DefaultName(device.device);
    config_.devices.push_back(std::move(device));
    return true;
  }

  template <typename Located>
  std::optional<std::string> Text(const toml::node& node, const Located& key) {
    const auto* text = node.as_string();
    if (text == nullptr) {
      Fail(node, Quoted(key.str()) + " must be a string");
      return std::nullopt;
    }
    return text->get();
  }

  template <typename Located>
  std::optional<std::chrono::milliseconds> Seconds(const toml::node& node, const Located& key) {
    double value = -1;
    if (const auto* i = node.as_integer()) value = static_cast<double>(i->get());
    else if (const auto* f = node.as_floating_point()) value = f->get();
    else {
      Fail(node, Quoted(key.str()) + " must be a number of seconds");
      return std::nullopt;
    }
    if (!std::isfinite(value) || value < kMinIntervalSeconds || value > kMaxIntervalSeconds) {
      Fail(node, Quoted(key.str()) + " must be from 0.01 to 1000000 seconds");
      return std::nullopt;
    }
    return std::chrono::milliseconds(std::llround(value * 1000));
  }

  std::string Where(const toml::source_region& at) const {
    return file_ + ":" + std::to_string(at.begin.line);
  }
  template <typename Located>
  std::string At(const Located& located, const std::string& what) {
    error_ = Where(located.source()) + ": " + what;
    return error_;
  }
  template <typename Located>
  bool Fail(const Located& located, const std::string& what) {
    At(located, what);
    return false;
  }

  const std::string& file_;
  CollectorConfig& config_;
  const ArgsSet& fromArgs_;
  std::string error_;
};

}  // namespace

std::optional<std::string> ApplyConfigText(const std::string& text, const std::string& fileName,
                                           CollectorConfig& config, const ArgsSet& fromArgs) {
  if (const auto line = LineNestedTooDeep(text))
    return fileName + ":" + std::to_string(*line) + ": nested more than " + std::to_string(kMaxTomlNesting) +
           " levels deep (dotted keys, tables, arrays)";
  toml::table root;
  try {
    root = toml::parse(text, fileName);
  } catch (const toml::parse_error& e) {
    return fileName + ":" + std::to_string(e.source().begin.line) + ": " +
           std::string(e.description());
  }
  return Mapper(fileName, config, fromArgs).Map(root);
}

}  // namespace kestrel::collector
