#pragma once
// Where records go. Each output implements this interface.
//
// Thread safety: the calls come from the pollers' event-loop threads,
// concurrently for devices on different loops; the calls about one device
// come from one thread and in the order the things happened. An implementation therefore
// guards whatever it shares between devices. A call should return quickly:
// it runs inside the device's poll, so a slow sink delays that device and
// every other device of its loop (a slow one goes behind a QueuedSink). Events about the collector itself
// (EventKind::Output, with an empty device) may come from any thread.
#include "collector/Records.h"

namespace kestrel::collector {

class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual void OnSample(const Sample& sample) = 0;
  virtual void OnEvent(const Event& event) = 0;
  virtual void OnStatus(const StatusChange& change) = 0;
  // SIGHUP: files are closed and opened again by name (log rotation).
  virtual void Reopen() {}
  // The end of a batch of records (see QueuedSink): an output that gathers
  // its writes sends what it holds now.
  virtual void Flush() {}
};

}  // namespace kestrel::collector
