#include "device/Connect.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "common/Blank.h"
#include "common/ModelTable.h"
#include "device/CommandSteps.h"
#include "device/ModeCheck.h"
#include "net/AddressText.h"
#include "net/ErrorNumbers.h"

namespace kestrel::device {

std::string TrimEntry(const std::string& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// Leading sign and decimal digits up to the first other character; no digits
// give 0. Values beyond the 32-bit range are held at its ends instead of
// wrapping, so that they are refused as out of range rather than becoming some
// other port.
std::int32_t PortNumberOf(const std::string& text) {
  using Limits = std::numeric_limits<std::int32_t>;
  constexpr std::int64_t kBeyondAnyPort = std::int64_t{1} << 32;
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = std::min(value * 10 + (text[i] - '0'), kBeyondAnyPort);
  if (negative) value = -value;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, Limits::min(), Limits::max()));
}

bool IsUsablePort(std::int32_t port) { return port >= 1 && port <= 65535; }

std::string ProbeFailureText(std::int32_t result) {
  if (result == net::kProbeRejected) return kMsgUnsupportedModel;
  if (result == net::kProbeNoAnswer) return kMsgTargetNotFound;
  return NetworkErrorText('F', static_cast<int>(result));
}

FailureCause ProbeFailureCause(std::int32_t result) {
  if (result == net::kProbeRejected) return {FailureStep::Probe, FailureKind::RefusedModel, 0};
  if (result == net::kProbeNoAnswer) return {FailureStep::Probe, FailureKind::Timeout, 0};
  return net::SocketFailure(FailureStep::Probe, static_cast<int>(result));
}

namespace {

// Shows `message` and records its cause; the window shows what the channel
// recorded as it is.
ConnectResult Stop(Session s, const std::string& message, FailureCause cause,
                   ConnectResult result) {
  s.state.lastFailure = cause;
  s.frontEnd.ShowMessage(message);
  return result;
}

// An address or port entry that cannot be used.
constexpr FailureCause kBadEntry{FailureStep::Entry, FailureKind::Refused, 0};

// The steps that need the main connection. Each step that fails has shown its
// message; the caller closes the connection.
Task<ConnectResult> IdentifyAndRead(Session s, const ConnectSettings& settings) {
  DeviceState& state = s.state;
  const Status identified = co_await steps::IdentifyDevice(s);
  if (Failed(identified)) co_return ConnectResult::Failed;
  if (CurrentInputCount(state) == 0)
    co_return Stop(s, kMsgUnsupportedModel, {FailureStep::Identify, FailureKind::RefusedModel, 0},
                   ConnectResult::Refused);
  if (state.protocolFamily == ProtocolFamily::ConfigPort) {
    const ModeCheckOutcome mode = co_await ModeCheckSteps(s, settings.configPort);
    switch (mode) {
      case ModeCheckOutcome::Passed:
        break;
      case ModeCheckOutcome::Refused:
        co_return ConnectResult::Refused;
      case ModeCheckOutcome::LinkFailed:
        co_return ConnectResult::Failed;
    }
  }
  const Status read = co_await steps::ReadSettings(s);
  if (Failed(read)) co_return ConnectResult::Failed;
  co_return ConnectResult::Connected;
}

}  // namespace

Task<ConnectResult> ConnectSteps(Session s, std::string addressText, std::string portText,
                                 const ConnectSettings& settings) {
  DeviceState& state = s.state;
  // The family belongs to the device connected now: one learnt from an earlier
  // device would send a plain model to the mode check. The probe and the
  // identification set it again for this device.
  state.protocolFamily = ProtocolFamily::Unknown;

  // The trimmed address stays in the state: the mode check reconnects with it.
  state.deviceAddress = TrimEntry(addressText);
  if (state.deviceAddress.empty())
    co_return Stop(s, kMsgInvalidIpAddress, kBadEntry, ConnectResult::InvalidEntry);
  const std::string portEntry = TrimEntry(portText);
  if (portEntry.empty()) co_return Stop(s, kMsgInvalidPort, kBadEntry, ConnectResult::InvalidEntry);
  if (!net::ResolveDeviceAddress(state.deviceAddress))
    co_return Stop(s, kMsgInvalidAddress, kBadEntry, ConnectResult::InvalidEntry);

  // Stored before it is judged, as the operator typed it.
  state.port = PortNumberOf(portEntry);
  if (!IsUsablePort(state.port))
    co_return Stop(s, kMsgInvalidPort, kBadEntry, ConnectResult::InvalidEntry);

  const std::int32_t probe =
      co_await net::ProbeSteps(s.link, state, state.deviceAddress, settings.probe);
  if (probe != 0)
    co_return Stop(s, ProbeFailureText(probe), ProbeFailureCause(probe),
                   probe == net::kProbeRejected ? ConnectResult::Refused : ConnectResult::Failed);

  const Status opened = co_await s.link.OpenSlot(state.deviceAddress, state.port, net::Slot::MainSlot);
  if (Failed(opened))
    co_return Stop(s, state.lastError, state.lastFailure, ConnectResult::Failed);

  const ConnectResult result = co_await IdentifyAndRead(s, settings);
  // A connection that will not be used must not stay open until the process
  // ends; the next attempt opens its own.
  if (result != ConnectResult::Connected) s.link.CloseSlot(net::Slot::MainSlot);
  co_return result;
}

ConnectResult ConnectDevice(CommandSet& commands, const std::string& addressText,
                            const std::string& portText, const ConnectSettings& settings) {
  return RunToEnd(ConnectSteps(commands.session(), addressText, portText, settings));
}

void Disconnect(Session s) {
  DeviceState& state = s.state;
  if (state.autoUpdateActive != 0) {
    s.frontEnd.StopAutoUpdate();
    state.autoUpdateActive = 0;
  }
  // Local flags only: a device that counts goes on counting, and the next
  // connection reads its real state.
  state.countingOn = 0;
  state.startStopRunning = 0;
  s.link.CloseSlot(net::Slot::MainSlot);
}

void DisconnectDevice(CommandSet& commands) { Disconnect(commands.session()); }

}  // namespace kestrel::device
