#pragma once
// The two-letter command set as steps over the exchange interface, written
// once: CommandSet runs them at once over the blocking channel, the
// collector's event loop runs them over its own sockets. What each does and
// reports is described at CommandSet.
#include "common/Status.h"
#include "common/Task.h"
#include "device/Session.h"

namespace kestrel::device::steps {

Task<Status> IdentifyDevice(Session s);
Task<Status> ReadSettings(Session s);
Task<Status> ReceiveSettings(Session s);
Task<Status> ReadInputConfig(Session s, int input);
Task<Status> WriteInputConfigs(Session s);
Task<Status> ApplySettings(Session s);
Task<Status> ToggleCounting(Session s);
Task<Status> ReadCount(Session s, int input);

}  // namespace kestrel::device::steps
