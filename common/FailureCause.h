#pragma once
// What went wrong in a device operation, kept beside the operator's text:
// the step that failed, the kind of failure and the socket error number.
// Programs that act on failures (the collector counts them by kind) read
// this instead of reading the kind back out of a text meant for people.

namespace kestrel {

// Why an operation failed.
enum class FailureKind {
  None,
  Timeout,       // no answer in time (probe, connect or reply)
  Refused,       // the connection was refused or the device is unreachable
  Closed,        // the device closed the connection, or another socket error
  Reply,         // an answer that could not be used
  RefusedModel,  // a model without pulse-count inputs (or a probe answer not accepted)
  Mode,          // the device is in its spontaneous-notification mode
};

// Where it failed.
enum class FailureStep {
  None,
  Entry,      // the address or port entry
  Probe,      // the discovery datagram and its answer
  Connect,    // making a command connection (socket, bind, connect, options)
  Send,       // sending a request
  Receive,    // receiving a reply
  Reply,      // a reply that arrived but is too long or ends too soon
  Identify,   // the identification named a model that cannot count
  ModeCheck,  // the configuration dump shows the spontaneous mode
};

struct FailureCause {
  FailureStep step = FailureStep::None;
  FailureKind kind = FailureKind::None;
  int errorNumber = 0;  // the socket error number (Windows numbering), 0 when none
  bool operator==(const FailureCause&) const = default;
};

}  // namespace kestrel
