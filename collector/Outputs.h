#pragma once
// The collector's own outputs: JSON Lines on standard output, and CSV files
// per device per day. Each line is written whole and flushed at once. They
// may take their time: the collector puts each behind a QueuedSink. Write
// failures and lost lines are told to the output health.
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "collector/LineOutput.h"
#include "collector/OutputHealth.h"
#include "collector/RecordSink.h"

namespace kestrel::collector {

// One JSON object per line. Samples can be left out when they go to CSV.
class JsonLinesSink final : public RecordSink {
 public:
  JsonLinesSink(LineOutput& out, bool samples, OutputHealth& health)
      : out_(out), samples_(samples), health_(health) {}
  void OnSample(const Sample& sample) override;
  void OnEvent(const Event& event) override;
  void OnStatus(const StatusChange&) override {}  // the events say it already
  // False once the reader has closed its end (the output is gone).
  bool good() const { return !gone_; }

 private:
  void Write(const std::string& line);
  std::mutex mutex_;  // one line at a time
  LineOutput& out_;
  const bool samples_;
  OutputHealth& health_;
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
