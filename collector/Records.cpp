#include "collector/Records.h"

namespace kestrel::collector {

const char* Name(EventKind kind) {
  switch (kind) {
    case EventKind::Connect: return "connect";
    case EventKind::Disconnect: return "disconnect";
    case EventKind::Failure: return "failure";
    case EventKind::SettingsChanged: return "settings-changed";
    case EventKind::Skip: return "skip";
    case EventKind::StateDiscarded: return "state-discarded";
    case EventKind::Output: return "output";
  }
  return "";
}

const char* Name(FailureKind kind) {
  switch (kind) {
    case FailureKind::None: return "none";
    case FailureKind::Timeout: return "timeout";
    case FailureKind::Refused: return "refused";
    case FailureKind::Closed: return "closed";
    case FailureKind::Reply: return "reply";
    case FailureKind::RefusedModel: return "refused_model";
    case FailureKind::Mode: return "mode";
  }
  return "";
}

const char* Name(FailureStep step) {
  switch (step) {
    case FailureStep::None: return "none";
    case FailureStep::Entry: return "entry";
    case FailureStep::Probe: return "probe";
    case FailureStep::Connect: return "connect";
    case FailureStep::Send: return "send";
    case FailureStep::Receive: return "receive";
    case FailureStep::Reply: return "reply";
    case FailureStep::Identify: return "identify";
    case FailureStep::ModeCheck: return "mode_check";
  }
  return "";
}

const char* Name(DeviceStatus status) {
  switch (status) {
    case DeviceStatus::Connecting: return "connecting";
    case DeviceStatus::Up: return "up";
    case DeviceStatus::Down: return "down";
  }
  return "";
}

}  // namespace kestrel::collector
