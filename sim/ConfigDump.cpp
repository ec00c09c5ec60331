#include "sim/ConfigDump.h"

namespace kestrel::sim {

int ConfigQueryReader::Feed(const std::uint8_t* data, std::size_t length) {
  int complete = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c != '\n') {
      if (line_.size() < kMaxLine) {
        line_.push_back(c);
      } else {
        lineTooLong_ = true;
      }
      continue;
    }
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    const std::string line = lineTooLong_ ? std::string("\n") : line_;  // matches nothing
    line_.clear();
    lineTooLong_ = false;
    if (sawDump_ && line == "END") {
      ++complete;
      sawDump_ = false;
    } else {
      sawDump_ = line == "DUMP";
    }
  }
  return complete;
}

std::string BuildConfigDump(const ConfigItems& items, bool withEnd) {
  std::string dump;
  for (const auto& [name, value] : items) dump += name + "\r\n" + value + "\r\n";
  if (withEnd) dump += "END\r\n\r\n";
  return dump;
}

}  // namespace kestrel::sim
