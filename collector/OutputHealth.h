#pragma once
// How the collector's own outputs are doing: per output, the records it lost
// and the writes that failed, for the metrics; and reports of them on
// standard error and as `output` events, at most one per output per
// kOutputReportInterval, each summing up what happened since the one before,
// plus one when an output whose failure was told writes again.
//
// An event about a failing output goes through the outputs again, which may
// fail or drop again: the rate limit stops that there, and no lock is held
// while a report goes out, so it can neither loop nor deadlock.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "collector/RecordSink.h"

namespace kestrel::collector {

// The outputs' names as the reports and the metrics give them.
inline constexpr char kJsonLinesOutput[] = "jsonl";
inline constexpr char kCsvOutput[] = "csv";
inline constexpr char kStoreOutput[] = "store";
inline constexpr char kMqttOutput[] = "mqtt";

inline constexpr std::chrono::seconds kOutputReportInterval{10};

class OutputHealth {
 public:
  OutputHealth() = default;
  // Tells on standard error what no report has told yet (the last drops of a
  // stop fall within the interval of the report before).
  ~OutputHealth();
  OutputHealth(const OutputHealth&) = delete;
  OutputHealth& operator=(const OutputHealth&) = delete;

  // Where the reports go as events (set once before the pollers start); may
  // stay unset. Set back to nullptr before that sink goes away.
  void SetEventSink(RecordSink* sink);
  // Records lost: full queue, no way to write. A count of 0 only makes the
  // output known, so that its counters show as zero.
  void Dropped(std::string_view output, std::uint64_t count);
  // One write failed (the record may be kept and retried by the output, or
  // be lost: then the output also calls Dropped).
  void Failed(std::string_view output, const std::string& reason);
  // A write succeeded after failures.
  void Resumed(std::string_view output);
  // Tells what the rate limit held back once its interval is over, so that a
  // failure followed by silence is not left untold until the end.
  void TellHeldBack();

  struct Counts {
    std::uint64_t dropped = 0;
    std::uint64_t failures = 0;
  };
  std::map<std::string, Counts> Snapshot() const;

 private:
  struct State {
    Counts counts;
    std::uint64_t droppedSince = 0;  // since the last report
    std::uint64_t failedSince = 0;
    std::string lastReason;
    bool failing = false;      // failed, and no write has succeeded since
    bool failureTold = false;  // ... and a report said so
    std::optional<SteadyClock::time_point> lastReport;
  };
  State& Entry(std::string_view output);  // with mutex_ held
  // With mutex_ held: what is to be told now, marked as told; "" when the
  // last report is too recent or there is nothing to tell.
  static std::string DueReport(State& state, bool force);
  // Without mutex_: to standard error and the event sink.
  void Report(std::string_view output, const std::string& text) const;

  mutable std::mutex mutex_;
  std::map<std::string, State, std::less<>> outputs_;
  std::atomic<RecordSink*> sink_{nullptr};
};

}  // namespace kestrel::collector
