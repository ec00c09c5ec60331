#include "collector/OutputHealth.h"

#include <iostream>
#include <utility>
#include <vector>

namespace kestrel::collector {

namespace {

std::string Plural(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

OutputHealth::~OutputHealth() {
  for (auto& [output, state] : outputs_) {
    const std::string text = DueReport(state, true);
    if (!text.empty()) std::cerr << "kestrel-collector: " << output << ": " << text << "\n";
  }
}

void OutputHealth::SetEventSink(RecordSink* sink) { sink_ = sink; }

OutputHealth::State& OutputHealth::Entry(std::string_view output) {
  const auto it = outputs_.find(output);
  if (it != outputs_.end()) return it->second;
  return outputs_.emplace(std::string(output), State{}).first->second;
}

std::string OutputHealth::DueReport(State& s, bool force) {
  const SteadyClock::time_point now = SteadyClock::now();
  if (!force && s.lastReport && now - *s.lastReport < kOutputReportInterval) return "";
  std::string text;
  if (s.droppedSince > 0) text = Plural(s.droppedSince, "record dropped", "records dropped");
  if (s.failedSince > 0) {
    if (!text.empty()) text += "; ";
    text += Plural(s.failedSince, "write failed", "writes failed") + ", the last: " + s.lastReason;
  }
  if (text.empty()) return "";
  s.droppedSince = s.failedSince = 0;
  s.lastReport = now;
  if (s.failing) s.failureTold = true;
  return text;
}

void OutputHealth::Report(std::string_view output, const std::string& text) const {
  if (text.empty()) return;
  // One piece, so that reports of two threads do not mix within a line.
  std::cerr << "kestrel-collector: " + std::string(output) + ": " + text + "\n" << std::flush;
  RecordSink* sink = sink_.load();
  if (sink == nullptr) return;
  Event event;
  event.kind = EventKind::Output;
  event.time = WallClock::now();
  event.message = text;
  event.output = output;
  sink->OnEvent(event);
}

void OutputHealth::Dropped(std::string_view output, std::uint64_t count) {
  std::string text;
  {
    std::lock_guard lock(mutex_);
    State& s = Entry(output);
    if (count == 0) return;
    s.counts.dropped += count;
    s.droppedSince += count;
    text = DueReport(s, false);
  }
  Report(output, text);
}

void OutputHealth::Failed(std::string_view output, const std::string& reason) {
  std::string text;
  {
    std::lock_guard lock(mutex_);
    State& s = Entry(output);
    ++s.counts.failures;
    ++s.failedSince;
    s.lastReason = reason;
    s.failing = true;
    text = DueReport(s, false);
  }
  Report(output, text);
}

void OutputHealth::Resumed(std::string_view output) {
  std::string text;
  {
    std::lock_guard lock(mutex_);
    State& s = Entry(output);
    if (!s.failing) return;
    // Every failure that was told is followed by its end; one that was not
    // yet told waits for the next report like any other.
    const bool told = s.failureTold;
    s.failing = s.failureTold = false;
    if (!told) return;
    text = DueReport(s, true);
    text = text.empty() ? "writing again" : "writing again (since the last report: " + text + ")";
    s.lastReport = SteadyClock::now();
  }
  Report(output, text);
}

void OutputHealth::TellHeldBack() {
  std::vector<std::pair<std::string, std::string>> due;
  {
    std::lock_guard lock(mutex_);
    for (auto& [output, state] : outputs_) {
      std::string text = DueReport(state, false);
      if (!text.empty()) due.emplace_back(output, std::move(text));
    }
  }
  for (const auto& [output, text] : due) Report(output, text);
}

std::map<std::string, OutputHealth::Counts> OutputHealth::Snapshot() const {
  std::lock_guard lock(mutex_);
  std::map<std::string, Counts> counts;
  for (const auto& [output, state] : outputs_) counts.emplace(output, state.counts);
  return counts;
}

}  // namespace kestrel::collector
