#pragma once
// The two-letter command set: each operation sends its commands over the main
// slot, moves values between the device and DeviceState, and reports a failed
// command once, with the channel's lastError text, through the OperatorPort.
#include <cstdint>

#include "device/DeviceState.h"
#include "device/OperatorPort.h"
#include "device/Status.h"
#include "net/CommandChannel.h"

namespace kestrel {

// Text of a reply too short for the fields an operation reads.
inline constexpr char kReplyDataError[] = "受信データ異常\r\n";

class CommandSet {
 public:
  CommandSet(DeviceState& state, CommandChannel& channel, OperatorPort& port)
      : state_(state), channel_(channel), port_(port) {}

  Status IdentifyDevice();
  Status ReadSettings();
  Status ReceiveSettings();
  Status ReadInputConfig(int input);
  Status WriteInputConfigs();
  Status ApplySettings();
  Status ToggleCounting();
  Status ReadCount(int input);

  DeviceState& state() { return state_; }
  CommandChannel& channel() { return channel_; }
  OperatorPort& port() { return port_; }

 private:
  DeviceState& state_;
  CommandChannel& channel_;
  OperatorPort& port_;
};

}  // namespace kestrel
