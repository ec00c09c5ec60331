#pragma once
// The collector's own outputs: JSON Lines on a stream, and CSV files per
// device per day. Each line is written whole and flushed at once.
#include <cstdio>
#include <map>
#include <mutex>
#include <ostream>
#include <string>

#include "collector/RecordSink.h"

namespace kestrel::collector {

// One JSON object per line. Samples can be left out when they go to CSV.
class JsonLinesSink final : public RecordSink {
 public:
  JsonLinesSink(std::ostream& out, bool samples) : out_(out), samples_(samples) {}
  void OnSample(const Sample& sample) override;
  void OnEvent(const Event& event) override;
  void OnStatus(const StatusChange&) override {}  // the events say it already
  // False once a write has failed (the output is gone).
  bool good() const;

 private:
  void Write(const std::string& line);
  mutable std::mutex mutex_;
  std::ostream& out_;
  const bool samples_;
};

// DIR/NAME-YYYY-MM-DD.csv, one file per device and local day, with the
// header at the top of each new file.
class CsvSink final : public RecordSink {
 public:
  explicit CsvSink(std::string directory) : directory_(std::move(directory)) {}
  ~CsvSink() override;
  void OnSample(const Sample& sample) override;
  void OnEvent(const Event&) override {}
  void OnStatus(const StatusChange&) override {}
  void Reopen() override;
  // The file a sample of `device` on `date` goes to.
  std::string PathFor(const std::string& device, const std::string& date) const;
  // Writes failed since start (disk full, directory gone); the line is lost.
  std::uint64_t failedWrites() const;

 private:
  struct OpenFile {
    std::FILE* file = nullptr;
    std::string date;
  };
  mutable std::mutex mutex_;
  const std::string directory_;
  std::map<std::string, OpenFile> files_;  // by device name
  std::uint64_t failedWrites_ = 0;
};

}  // namespace kestrel::collector
