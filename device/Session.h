#pragma once
// What the device's steps work on: the device state, the exchanges and the
// front end. Plain references, copied into each step's coroutine frame.
#include "common/DeviceState.h"
#include "device/FrontEnd.h"
#include "net/Link.h"

namespace kestrel::device {

struct Session {
  DeviceState& state;
  net::Link& link;
  FrontEnd& frontEnd;
};

}  // namespace kestrel::device
