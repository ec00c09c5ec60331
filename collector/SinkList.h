#pragma once
// Hands every record to several sinks, in the order they were added.
#include <vector>

#include "collector/RecordSink.h"

namespace kestrel::collector {

class SinkList final : public RecordSink {
 public:
  // Sinks are added before the pollers start and outlive them.
  void Add(RecordSink& sink) { sinks_.push_back(&sink); }
  void OnSample(const Sample& s) override { for (RecordSink* k : sinks_) k->OnSample(s); }
  void OnEvent(const Event& e) override { for (RecordSink* k : sinks_) k->OnEvent(e); }
  void OnStatus(const StatusChange& c) override { for (RecordSink* k : sinks_) k->OnStatus(c); }
  void Reopen() override { for (RecordSink* k : sinks_) k->Reopen(); }

 private:
  std::vector<RecordSink*> sinks_;
};

}  // namespace kestrel::collector
