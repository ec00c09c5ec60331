// interfaces, probe and info: the commands that only look.
#include "cli/Commands.h"
#include "cli/DeviceConnection.h"
#include "cli/ExitCode.h"
#include "cli/Format.h"
#include "net/AddressText.h"
#include "net/Probe.h"
#include "net/Scan.h"

namespace kestrel::cli {

int RunInterfaces(const Invocation& inv, Terminal& terminal) {
  const std::optional<net::AdapterTable> table = LoadAdapters(terminal.messages);
  if (!table) return kExitFailure;
  for (std::int32_t i = 0; i < table->count; ++i)
    if (!terminal.Print(InterfaceLine(table->rows[i], inv.json))) return kExitFailure;
  return kExitOk;
}

int RunProbe(const Invocation& inv, Terminal& terminal) {
  DeviceConnection connection(terminal.messages);
  if (const int status = connection.SelectInterface(inv); status != kExitOk) return status;
  // The same entry rules as the connect steps, which the probe alone skips.
  const std::string address = device::TrimEntry(inv.address);
  const char* refusal = address.empty()                           ? kMsgInvalidIpAddress
                        : !net::ResolveDeviceAddress(address) ? kMsgInvalidAddress
                                                                  : nullptr;
  if (refusal != nullptr) {
    connection.Tell(refusal);
    terminal.messages << "Try 'kestrelctl probe --help'.\n";
    return kExitUsage;
  }
  const std::int32_t result = net::ProbeDevice(connection.state(), address);
  if (!terminal.Print(ProbeLine(result, connection.state(), inv.json))) return kExitFailure;
  if (result == 0) return kExitOk;
  connection.Tell(device::ProbeFailureText(result));
  return kExitFailure;
}

int RunScan(const Invocation& inv, Terminal& terminal) {
  DeviceConnection connection(terminal.messages);
  if (const int status = connection.SelectInterface(inv); status != kExitOk) return status;
  std::uint32_t target = net::kAddressNone;  // the limited broadcast
  if (!inv.address.empty()) {
    const std::optional<std::uint32_t> address =
        net::ParseDottedAddress(device::TrimEntry(inv.address));
    if (!address) return UsageError(terminal.messages, "--address takes a dotted IPv4 address for scan", inv.command);
    target = *address;
  }
  int error = 0;
  const auto waitMs = static_cast<std::uint32_t>(inv.scan.waitSeconds * 1000);
  const std::vector<net::ScanAnswer> answers = net::ScanForDevices(
      connection.state().localAddress, waitMs, net::ProbeSettings{}, error, target);
  if (error != 0) {
    connection.Tell(NetworkErrorText('F', error));
    return kExitFailure;
  }
  // Silence would look like a network without devices and a failed scan
  // alike; it is told, and scripts see it in the status.
  if (answers.empty()) {
    terminal.messages << "kestrelctl: " << net::NoAnswerText(connection.interfaceEntry(), waitMs, target) << "\n";
    return kExitFailure;
  }
  for (const net::ScanAnswer& a : answers)
    if (!terminal.Print(ScanLine(a, inv.json))) return kExitFailure;
  return kExitOk;
}

int RunInfo(const Invocation& inv, Terminal& terminal) {
  DeviceConnection connection(terminal.messages);
  if (const int status = connection.Connect(inv); status != kExitOk) return status;
  for (const std::string& line : InfoLines(connection.state(), inv.json))
    if (!terminal.Print(line)) return kExitFailure;
  return kExitOk;
}

int RunCommand(const Invocation& inv, Terminal& terminal) {
  switch (inv.command) {
    case Command::Interfaces: return RunInterfaces(inv, terminal);
    case Command::Probe: return RunProbe(inv, terminal);
    case Command::Info: return RunInfo(inv, terminal);
    case Command::Apply: return RunApply(inv, terminal);
    case Command::Start: return RunStart(inv, terminal);
    case Command::Stop: return RunStop(inv, terminal);
    case Command::Read: return RunRead(inv, terminal);
    case Command::Scan: return RunScan(inv, terminal);
    case Command::None: break;
  }
  return UsageError(terminal.messages, "no command given", Command::None);
}

}  // namespace kestrel::cli
