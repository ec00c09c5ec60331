#include "device/CommandSet.h"

#include "device/CommandSteps.h"

namespace kestrel::device {

Status CommandSet::IdentifyDevice() { return RunToEnd(steps::IdentifyDevice(session())); }
Status CommandSet::ReadSettings() { return RunToEnd(steps::ReadSettings(session())); }
Status CommandSet::ReceiveSettings() { return RunToEnd(steps::ReceiveSettings(session())); }
Status CommandSet::ReadInputConfig(int input) {
  return RunToEnd(steps::ReadInputConfig(session(), input));
}
Status CommandSet::WriteInputConfigs() { return RunToEnd(steps::WriteInputConfigs(session())); }
Status CommandSet::ApplySettings() { return RunToEnd(steps::ApplySettings(session())); }
Status CommandSet::ToggleCounting() { return RunToEnd(steps::ToggleCounting(session())); }
Status CommandSet::ReadCount(int input) { return RunToEnd(steps::ReadCount(session(), input)); }

}  // namespace kestrel::device
