#pragma once
// What the collector reports: one Sample per successful poll of a device, one
// Event per thing worth telling (connect, disconnect, failure, settings
// changed, skipped slots), and the device's up/down status. Every output
// (JSON Lines, CSV, metrics, message bus) is built from these records only.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "common/DeviceState.h"
#include "common/FailureCause.h"
#include "common/Protocol.h"

namespace kestrel::collector {

using WallClock = std::chrono::system_clock;
using SteadyClock = std::chrono::steady_clock;

// The device's command port unless told otherwise.
inline constexpr std::uint16_t kDefaultPort = protocol::kCommandPort;

// Which device a record is about: the name it is known by (the configured
// name, else the address) and where it is reached.
struct DeviceRef {
  std::string name;
  std::string address;  // dotted IPv4
  std::uint16_t port = kDefaultPort;
  friend bool operator==(const DeviceRef&, const DeviceRef&) = default;
};

// What the connect steps learned about the device.
struct DeviceIdentity {
  DeviceRef device;
  std::string model;                  // display name of the model ("SX-21")
  std::int32_t modelIndex = 0;
  std::int32_t unit = 0;
  std::string productCode;            // the probe's two characters ("X6")
  bool counting = false;              // counting switched on, as the window shows it
  std::int32_t countPeriod = 0;       // 0 START-STOP, 1 0.1 s, 2 1 s, 3 10 s
  std::int32_t chatterCode = 0;
  std::int32_t inputCount = 0;        // inputs of the model
  std::array<bool, kMaxInputs> enabled{};  // per input, index 0 = DI1
  std::array<std::int32_t, kMaxInputs> edge{};  // 0 RISE, 1 FALL
  friend bool operator==(const DeviceIdentity&, const DeviceIdentity&) = default;
};

// One input of one sample. Inputs that are disabled, or that the model does
// not have, carry no value at all (`present` false), never zeros.
struct InputValue {
  bool present = false;
  std::uint32_t raw = 0;        // the device's 32-bit counter as read
  std::uint64_t increase = 0;   // pulses since the previous good sample of this input
  std::uint64_t total = 0;      // sum of increases since the collector started
  // Pulses per second over the span since the previous good sample; absent
  // for the first sample of an input (nothing to compare with).
  std::optional<double> rate;
  bool wrapped = false;  // the counter passed 2^32 since the previous sample
  bool reset = false;    // the counter went back (device reset): increase = raw
};

struct Sample {
  DeviceRef device;
  WallClock::time_point time;  // when the counters were read
  // How long after its scheduled slot the read was done.
  std::chrono::milliseconds lateness{0};
  // How long the counter reads of this sample took.
  std::chrono::microseconds pollDuration{0};
  // Time since the previous good sample when polls failed in between (failed
  // reads, reconnect); 0 for a sample that follows its predecessor normally.
  // The increases of a sample after a gap span the whole gap.
  std::chrono::milliseconds gap{0};
  // Set on the first sample after a start that took up the counts where the
  // store left them: when that stored sample was read. Its increases (and
  // `gap`) span from then on.
  std::optional<WallClock::time_point> resumed;
  std::int32_t inputCount = 0;
  std::array<InputValue, kMaxInputs> inputs{};
};

// StateDiscarded: the store held counts of a device that now answers with
// another identity, so its totals start again from this sample. Output: one
// of the collector's own outputs lost records or cannot write; such an event
// is about the collector, not a device (its device is empty).
enum class EventKind { Connect, Disconnect, Failure, SettingsChanged, Skip, StateDiscarded, Output };

struct Event {
  EventKind kind = EventKind::Connect;
  DeviceRef device;
  WallClock::time_point time;
  // Failure: what failed, the window's message text for it, and how long
  // until the next connect attempt. StateDiscarded: the message says why.
  // Output: what happened to the output.
  FailureKind failure = FailureKind::None;
  std::string message;
  std::chrono::milliseconds retryIn{0};
  // Skip: how many schedule slots were passed over because a poll overran.
  std::uint64_t skipped = 0;
  // Connect and SettingsChanged: the device as now known.
  std::optional<DeviceIdentity> identity;
  // Output: which one ("jsonl", "csv", "store", "mqtt").
  std::string output;
  // Failure: the step that failed and its socket error number (0 if none).
  FailureStep step = FailureStep::None;
  int errorNumber = 0;
};

enum class DeviceStatus { Connecting, Up, Down };

struct StatusChange {
  DeviceRef device;
  WallClock::time_point time;
  DeviceStatus status = DeviceStatus::Connecting;
  std::optional<DeviceIdentity> identity;  // the last one known
  FailureKind failure = FailureKind::None;  // Down: why
  std::string message;                      // Down: the window's text
};

// Lower-case names used in every output: "connect", "timeout", "up", ...
const char* Name(EventKind kind);
const char* Name(FailureKind kind);
const char* Name(FailureStep step);
const char* Name(DeviceStatus status);

}  // namespace kestrel::collector
