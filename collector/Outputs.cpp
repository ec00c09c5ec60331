#include "collector/Outputs.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "collector/CsvFileName.h"
#include "collector/RecordText.h"

namespace kestrel::collector {

void JsonLinesSink::Add(const std::string& line) {
  std::unique_lock lock(mutex_);
  pending_ += line;
  pending_ += '\n';
  ++pendingLines_;
  if (pending_.size() >= kJsonLinesGather) WritePending(lock);
}

void JsonLinesSink::Flush() {
  std::unique_lock lock(mutex_);
  WritePending(lock);
}

// Writes the gathered lines; a line not written whole is dropped, and
// counted so. Reports outside the lock: they come back here as events.
void JsonLinesSink::WritePending(std::unique_lock<std::mutex>& lock) {
  if (pending_.empty()) return;
  std::string error;
  std::size_t written = 0;
  const LineOutput::Result result = out_.Write(pending_, error, &written);
  const bool ok = result == LineOutput::Result::Written;
  const bool resumed = ok && failing_;
  if (ok || result != LineOutput::Result::Abandoned) failing_ = !ok;
  const std::uint64_t lost =
      ok ? 0
         : pendingLines_ - static_cast<std::uint64_t>(std::count(
                               pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(written), '\n'));
  pending_.clear();
  pendingLines_ = 0;
  lock.unlock();
  switch (result) {
    case LineOutput::Result::Written:
      if (resumed) health_.Resumed(kJsonLinesOutput);
      break;
    case LineOutput::Result::Gone:
      gone_ = true;
      health_.Failed(kJsonLinesOutput, "standard output is closed");
      break;
    case LineOutput::Result::Failed:
      health_.Failed(kJsonLinesOutput, "standard output: " + error);
      break;
    case LineOutput::Result::Abandoned:
      break;
  }
  if (lost > 0) health_.Dropped(kJsonLinesOutput, lost);
  lock.lock();
}

void JsonLinesSink::OnSample(const Sample& sample) {
  if (samples_) Add(SampleJson(sample));
}

void JsonLinesSink::OnEvent(const Event& event) { Add(EventJson(event)); }

CsvSink::~CsvSink() { Reopen(); }

std::string CsvSink::PathFor(const std::string& device, const std::string& date) const {
  return CsvFilePath(directory_, device, date);
}

std::string CsvSink::Append(const Sample& sample, const std::string& row) {
  const std::string date = LocalDate(sample.time);
  OpenFile& open = files_[sample.device.name];
  if (open.file != nullptr && open.date != date) {
    std::fclose(open.file);
    open.file = nullptr;
  }
  const std::string path = PathFor(sample.device.name, date);
  if (open.file == nullptr) {
    open.file = std::fopen(path.c_str(), "a");
    open.date = date;
    if (open.file == nullptr) return "cannot open " + path + ": " + std::generic_category().message(errno);
  }
  // A file that already has lines (a restart, a reopen) keeps its header.
  const std::string text = (std::ftell(open.file) == 0 ? CsvHeader(sample.inputCount) + "\n" : "") + row;
  if (std::fputs(text.c_str(), open.file) >= 0 && std::fflush(open.file) == 0) return "";
  const std::string error = "cannot write " + path + ": " + std::generic_category().message(errno);
  // Closed, so that the next sample starts afresh instead of on a stream
  // that stays in error.
  std::fclose(open.file);
  open.file = nullptr;
  return error;
}

void CsvSink::OnSample(const Sample& sample) {
  const std::string row = CsvRow(sample) + "\n";
  std::string error;
  bool resumed = false;
  {
    std::lock_guard lock(mutex_);
    error = Append(sample, row);
    resumed = error.empty() && failing_;
    failing_ = !error.empty();
  }
  if (resumed) health_.Resumed(kCsvOutput);
  if (error.empty()) return;
  health_.Failed(kCsvOutput, error);
  health_.Dropped(kCsvOutput, 1);
}

void CsvSink::Reopen() {
  std::lock_guard lock(mutex_);
  for (auto& [name, open] : files_)
    if (open.file != nullptr) std::fclose(open.file);
  files_.clear();
}

}  // namespace kestrel::collector
