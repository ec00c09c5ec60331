#pragma once
// The connect and disconnect steps, shared by the window and the command line.
#include <cstdint>
#include <string>

#include "common/OperatorTexts.h"
#include "common/Protocol.h"
#include "common/Task.h"
#include "device/CommandSet.h"
#include "device/Session.h"
#include "net/CommandChannel.h"
#include "net/Probe.h"

namespace kestrel::device {

struct ConnectSettings {
  net::ProbeSettings probe;
  std::uint16_t configPort = protocol::kConfigPort;
};

enum class ConnectResult {
  Connected,     // every step succeeded; the main slot is open
  InvalidEntry,  // address or port entry refused (message shown)
  Refused,       // unsupported model or spontaneous-notification mode (message shown)
  Failed,        // probe, network or device failure (message shown)
};

// The entry rules of the connect steps, for front ends that check an entry
// before connecting (the command line refuses a bad port as a usage error).
// White space (space, tab, LF, VT, FF, CR) removed at both ends.
std::string TrimEntry(const std::string& text);
// Sign and leading decimal digits of a trimmed port entry, held within 32 bits.
std::int32_t PortNumberOf(const std::string& text);
bool IsUsablePort(std::int32_t port);  // 1 to 65535
// The operator text for a probe result other than 0, and its cause.
std::string ProbeFailureText(std::int32_t result);
FailureCause ProbeFailureCause(std::int32_t result);

// Checks the entries, probes, opens the main slot, identifies, checks the
// model and the mode, and reads the settings. On any failure after the main
// slot was opened, the main slot is closed again.
ConnectResult ConnectDevice(CommandSet& commands, const std::string& addressText,
                            const std::string& portText, const ConnectSettings& settings);
// The same as a step over any exchanges; `settings` outlives the step.
Task<ConnectResult> ConnectSteps(Session s, std::string addressText, std::string portText,
                                 const ConnectSettings& settings);

// Stops auto-update, clears the local counting flags and closes the main slot.
// Nothing is sent to the device.
void DisconnectDevice(CommandSet& commands);
void Disconnect(Session s);

}  // namespace kestrel::device
