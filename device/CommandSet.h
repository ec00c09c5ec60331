#pragma once
// The two-letter command set: each operation sends its commands over the main
// slot, moves values between the device and DeviceState, and reports a failed
// command once, with the channel's lastError text, through the FrontEnd.
// Each runs its steps (CommandSteps.h) at once over the blocking channel.
#include <cstdint>

#include "common/DeviceState.h"
#include "common/Status.h"
#include "device/FrontEnd.h"
#include "device/Session.h"
#include "net/BlockingLink.h"
#include "net/CommandChannel.h"

namespace kestrel::device {

class CommandSet {
 public:
  CommandSet(DeviceState& state, net::CommandChannel& channel, FrontEnd& frontEnd)
      : state_(state), channel_(channel), frontEnd_(frontEnd), link_(channel) {}
  CommandSet(const CommandSet&) = delete;
  CommandSet& operator=(const CommandSet&) = delete;

  // Every operation returns failure after it has shown the message; callers
  // must not report again. Input numbers run from 0 (DI1) to 7 (DI8); another
  // number fails at once, with nothing sent and nothing shown.

  // MI: unit number, model index and, for extended models, the family.
  Status IdentifyDevice();
  // PJ, PP and one PH per input of the current model.
  Status ReadSettings();
  // ReadSettings, then the window shows the device's values.
  Status ReceiveSettings();
  Status ReadInputConfig(int input);
  // One PC per input of the current model; stops at the first failure.
  Status WriteInputConfigs();
  // PL with the counting bit clear, then WriteInputConfigs.
  Status ApplySettings();
  // Starts counting when countingOn is 0, else stops it.
  Status ToggleCounting();
  // PG; a failure also ends periodic reading, before the message is shown.
  Status ReadCount(int input);

  DeviceState& state() { return state_; }
  net::CommandChannel& channel() { return channel_; }
  FrontEnd& frontEnd() { return frontEnd_; }
  // The blocking exchanges over channel(), for running other steps at once.
  Session session() { return {state_, link_, frontEnd_}; }

 private:
  DeviceState& state_;
  net::CommandChannel& channel_;
  FrontEnd& frontEnd_;
  net::BlockingLink link_;
};

}  // namespace kestrel::device
