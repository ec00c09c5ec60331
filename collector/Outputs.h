#pragma once
// The collector's own outputs: JSON Lines on standard output, and CSV files
// per device per day. A CSV row is written whole and flushed at once, JSON
// Lines a batch at a time. They may take their time: the collector puts each
// behind a QueuedSink. Write failures and lost lines are told to the output
// health.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "collector/LineOutput.h"
#include "collector/OutputHealth.h"
#include "collector/RecordSink.h"

namespace kestrel::collector {

// One JSON object per line. Samples can be left out when they go to CSV.
// The lines of a batch are gathered and written at its end (Flush), or
// sooner once kJsonLinesGather bytes are waiting.
class JsonLinesSink final : public RecordSink {
 public:
  static constexpr std::size_t kJsonLinesGather = 64 * 1024;

  JsonLinesSink(LineOutput& out, bool samples, OutputHealth& health)
      : out_(out), samples_(samples), health_(health) {}
  ~JsonLinesSink() override { Flush(); }
  void OnSample(const Sample& sample) override;
  void OnEvent(const Event& event) override;
  void OnStatus(const StatusChange&) override {}  // the events say it already
  void Flush() override;
  // False once the reader has closed its end (the output is gone).
  bool good() const { return !gone_; }

 private:
  void Add(const std::string& line);
  void WritePending(std::unique_lock<std::mutex>& lock);
  std::mutex mutex_;  // one batch at a time
  LineOutput& out_;
  const bool samples_;
  OutputHealth& health_;
  std::string pending_;  // whole lines, with mutex_
  std::uint64_t pendingLines_ = 0;  // in pending_
  bool failing_ = false;  // with mutex_
  std::atomic<bool> gone_{false};
};

// DIR/NAME-YYYY-MM-DD.csv, one file per device and local day, with the
// header at the top of each new file. A file that cannot be opened or
// written is closed and tried again at the device's next sample.
class CsvSink final : public RecordSink {
 public:
  CsvSink(std::string directory, OutputHealth& health) : directory_(std::move(directory)), health_(health) {}
  ~CsvSink() override;
  void OnSample(const Sample& sample) override;
  void OnEvent(const Event&) override {}
  void OnStatus(const StatusChange&) override {}
  void Reopen() override;
  // The file a sample of `device` on `date` goes to.
  std::string PathFor(const std::string& device, const std::string& date) const;

 private:
  struct OpenFile {
    std::FILE* file = nullptr;
    std::string date;
  };
  // With mutex_ held: "" when the row is in its file, else why not.
  std::string Append(const Sample& sample, const std::string& row);
  std::mutex mutex_;
  const std::string directory_;
  OutputHealth& health_;
  std::map<std::string, OpenFile> files_;  // by device name
  bool failing_ = false;
};

}  // namespace kestrel::collector
