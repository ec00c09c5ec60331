#pragma once
// One device connection for one command: the local interface is picked, the
// connect steps run, and the connection is closed when this object goes.
#include <optional>
#include <ostream>
#include <string>

#include "cli/ExitCode.h"
#include "cli/Options.h"
#include "cli/TerminalFrontEnd.h"
#include "common/DeviceState.h"
#include "common/OperatorTexts.h"
#include "device/CommandSet.h"
#include "device/Connect.h"
#include "net/AdapterTable.h"
#include "net/CommandChannel.h"

namespace kestrel::cli {

// The adapter table as the window builds it at start; nullopt after telling
// the operator why there is none.
std::optional<net::AdapterTable> LoadAdapters(std::ostream& messages);

// Prints a usage error with its one-line hint and returns kExitUsage.
int UsageError(std::ostream& messages, const std::string& problem, Command command);

class DeviceConnection {
 public:
  explicit DeviceConnection(std::ostream& messages);
  ~DeviceConnection();
  DeviceConnection(const DeviceConnection&) = delete;
  DeviceConnection& operator=(const DeviceConnection&) = delete;

  // Sets the local address from --interface; kExitOk or the exit status.
  int SelectInterface(const Invocation& inv);
  // SelectInterface, then the connect steps; kExitOk or the exit status.
  int Connect(const Invocation& inv);

  // A message to the operator, as the device operations give theirs.
  void Tell(const std::string& text) { frontEnd_.ShowMessage(text); }

  DeviceState& state() { return state_; }
  // The interface SelectInterface chose, for messages that name it.
  const net::AdapterEntry& interfaceEntry() const { return interface_; }
  device::CommandSet& commands() { return commands_; }
  std::ostream& messages() { return messages_; }

 private:
  std::ostream& messages_;
  DeviceState state_;
  net::AdapterEntry interface_;
  TerminalFrontEnd frontEnd_;
  net::CommandChannel channel_;
  device::CommandSet commands_;
  bool connected_ = false;
};

}  // namespace kestrel::cli
