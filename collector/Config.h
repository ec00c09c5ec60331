#pragma once
// What the collector is asked to do: the devices, how often, where the
// records go. Filled from the command line and a TOML file; every value is
// checked before any device is contacted.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "collector/Records.h"

namespace kestrel::collector {

inline constexpr std::chrono::milliseconds kDefaultInterval{1000};
// Longest interval accepted (about 11 days), as for kestrelctl read.
inline constexpr double kMaxIntervalSeconds = 1e6;
// Shortest interval accepted: a poll of eight inputs needs a few round trips.
inline constexpr double kMinIntervalSeconds = 0.01;
// How long the store keeps its minute and hour rows, in days, by default
// (a month and a bit; ten years), and the longest it is told to.
inline constexpr int kDefaultKeepMinutesDays = 35;
inline constexpr int kDefaultKeepHoursDays = 3650;
inline constexpr int kMaxKeepDays = 100000;

struct DeviceConfig {
  DeviceRef device;  // address in canonical dotted form
  std::optional<std::chrono::milliseconds> interval;
  std::optional<std::string> interface;
  std::string origin;  // "FILE:LINE" or "--device", for messages
};

struct CollectorConfig {
  std::vector<DeviceConfig> devices;
  std::chrono::milliseconds interval = kDefaultInterval;
  std::optional<std::string> interface;
  std::optional<std::string> csvDir;
  std::optional<std::string> store;  // the store's file
  int keepMinutesDays = kDefaultKeepMinutesDays;
  int keepHoursDays = kDefaultKeepHoursDays;
  bool scan = false;
  std::optional<std::chrono::milliseconds> rescan;
  std::chrono::milliseconds scanWait{5000};
  // Bounds that tests shorten; the product's values otherwise.
  std::optional<std::chrono::milliseconds> backoffFirst;
  std::optional<std::chrono::milliseconds> backoffMax;
  std::optional<std::chrono::milliseconds> timeout;  // channel and probe waits
};

// Parses a whole number of days from 1 to kMaxKeepDays; nullopt otherwise.
std::optional<int> ParseKeepDays(const std::string& text);

// Parses "SECONDS" (decimal, fraction allowed) within [min, max]; nullopt
// when it is not such a number.
std::optional<std::chrono::milliseconds> ParseSeconds(const std::string& text, double min,
                                                      double max);

// The name of a device without one: its address, with the port unless it
// is the usual one.
std::string DefaultName(const DeviceRef& device);

// "ADDR[:PORT][=NAME]" as --device takes it; the error text when refused.
std::optional<DeviceConfig> ParseDeviceArgument(const std::string& text, std::string& error);

// Checks a dotted IPv4 address and gives its canonical form.
std::optional<std::string> CanonicalAddress(const std::string& text);

// Why a canonical address cannot be a device's (the unspecified address,
// multicast, the limited broadcast); nullopt when it can be polled.
std::optional<std::string> NotADeviceAddress(const std::string& canonical);

// Maps the text of a TOML configuration file onto `config`. On failure
// returns "FILE:LINE: what is wrong" and leaves `config` partly filled.
// Devices from the file are added after those already in `config`; settings
// given in the file apply unless the command line has set them (`fromArgs`).
struct ArgsSet {
  bool interval = false, interface = false, csvDir = false;
  bool store = false, keepMinutes = false, keepHours = false;
};
std::optional<std::string> ApplyConfigText(const std::string& text, const std::string& fileName,
                                           CollectorConfig& config, const ArgsSet& fromArgs = {});

// What the collector says when its configuration files list no device and
// nothing else gives one (no --device, no --scan): the state of a service
// just installed. Names the files, what to add and how to start again.
std::string NothingConfiguredText(const std::vector<std::string>& files);

// Refuses two devices with the same address and port, or the same name, or,
// when samples go to CSV, names that become the same file name.
std::optional<std::string> CheckDevicesUnique(const CollectorConfig& config);

}  // namespace kestrel::collector
