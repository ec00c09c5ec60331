#include "collector/Outputs.h"

#include "collector/RecordText.h"

namespace kestrel::collector {

void JsonLinesSink::Write(const std::string& line) {
  std::lock_guard lock(mutex_);
  out_ << line << '\n' << std::flush;
}

void JsonLinesSink::OnSample(const Sample& sample) {
  if (samples_) Write(SampleJson(sample));
}

void JsonLinesSink::OnEvent(const Event& event) { Write(EventJson(event)); }

bool JsonLinesSink::good() const {
  std::lock_guard lock(mutex_);
  return out_.good();
}

CsvSink::~CsvSink() { Reopen(); }

std::string CsvSink::PathFor(const std::string& device, const std::string& date) const {
  // Names come from the configuration; anything that could leave the
  // directory or trouble a shell becomes '_'.
  std::string safe = device;
  for (char& c : safe) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    if (!plain) c = '_';
  }
  if (!safe.empty() && safe.front() == '.') safe.front() = '_';
  return directory_ + "/" + safe + "-" + date + ".csv";
}

void CsvSink::OnSample(const Sample& sample) {
  const std::string date = LocalDate(sample.time);
  const std::string row = CsvRow(sample) + "\n";
  std::lock_guard lock(mutex_);
  OpenFile& open = files_[sample.device.name];
  if (open.file != nullptr && open.date != date) {
    std::fclose(open.file);
    open.file = nullptr;
  }
  if (open.file == nullptr) {
    open.file = std::fopen(PathFor(sample.device.name, date).c_str(), "a");
    open.date = date;
    if (open.file == nullptr) {
      ++failedWrites_;
      return;
    }
    // A file that already has lines (a restart, a reopen) keeps its header.
    if (std::ftell(open.file) == 0) {
      const std::string header = CsvHeader(sample.inputCount) + "\n";
      std::fputs(header.c_str(), open.file);
    }
  }
  if (std::fputs(row.c_str(), open.file) < 0 || std::fflush(open.file) != 0) ++failedWrites_;
}

void CsvSink::Reopen() {
  std::lock_guard lock(mutex_);
  for (auto& [name, open] : files_)
    if (open.file != nullptr) std::fclose(open.file);
  files_.clear();
}

std::uint64_t CsvSink::failedWrites() const {
  std::lock_guard lock(mutex_);
  return failedWrites_;
}

}  // namespace kestrel::collector
