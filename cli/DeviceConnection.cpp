#include "cli/DeviceConnection.h"

#include "net/AddressText.h"

namespace kestrel::cli {

std::optional<net::AdapterTable> LoadAdapters(std::ostream& messages) {
  std::optional<net::AdapterTable> table = net::BuildAdapterTable(net::ReadPlatformAdapters());
  if (!table) {
    // The window ends silently here; a script at least learns why.
    messages << "kestrelctl: the list of network adapters could not be read\n";
    return std::nullopt;
  }
  if (table->count == 0) {
    TerminalFrontEnd(messages).ShowMessage(kMsgNoNetworkDevice);
    return std::nullopt;
  }
  return table;
}

int UsageError(std::ostream& messages, const std::string& problem, Command command) {
  const std::string topic = command == Command::None ? "" : std::string(CommandName(command)) + " ";
  messages << "kestrelctl: " << problem << "\nTry 'kestrelctl " << topic << "--help'.\n";
  return kExitUsage;
}

DeviceConnection::DeviceConnection(std::ostream& messages)
    : messages_(messages), frontEnd_(messages), channel_(state_), commands_(state_, channel_, frontEnd_) {
  // As at the window's initialisation: the family is unknown until the probe
  // or the identification tells.
  state_.protocolFamily = ProtocolFamily::Unknown;
}

DeviceConnection::~DeviceConnection() {
  if (connected_) device::DisconnectDevice(commands_);
}

int DeviceConnection::SelectInterface(const Invocation& inv) {
  const std::optional<net::AdapterTable> table = LoadAdapters(messages_);
  if (!table) return kExitFailure;
  const net::AdapterEntry* row = net::FindAdapterEntry(*table, inv.interface);
  if (row == nullptr)
    return UsageError(messages_,
                      "no usable interface '" + inv.interface.value_or("") +
                          "' (see 'kestrelctl interfaces')",
                      inv.command);
  state_.localAddress = row->address;
  interface_ = *row;
  return kExitOk;
}

int DeviceConnection::Connect(const Invocation& inv) {
  if (const int status = SelectInterface(inv); status != kExitOk) return status;
  switch (device::ConnectDevice(commands_, inv.address, inv.portText, device::ConnectSettings{})) {
    case device::ConnectResult::Connected:
      connected_ = true;
      return kExitOk;
    case device::ConnectResult::InvalidEntry:
      // The message is already out; only the hint is missing.
      messages_ << "Try 'kestrelctl " << CommandName(inv.command) << " --help'.\n";
      return kExitUsage;
    case device::ConnectResult::Refused:
      return kExitRefused;
    case device::ConnectResult::Failed:
      break;
  }
  return kExitFailure;
}

}  // namespace kestrel::cli
