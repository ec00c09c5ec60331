#pragma once
// The configuration port: it takes text lines and answers the DUMP query with
// the device's configuration as name and value lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::sim {

// Spots the query in the byte stream: a line "DUMP" followed by a line "END"
// (lines end with LF; a CR before it is ignored). Any other line starts over.
class ConfigQueryReader {
 public:
  static constexpr std::size_t kMaxLine = 256;

  // Returns how many complete queries `data` finished.
  int Feed(const std::uint8_t* data, std::size_t length);

 private:
  std::string line_;
  bool lineTooLong_ = false;
  bool sawDump_ = false;
};

using ConfigItems = std::vector<std::pair<std::string, std::string>>;

// Name line, value line for each item, each ended by CR LF; with `withEnd`
// the name line "END" and an empty line close the dump.
std::string BuildConfigDump(const ConfigItems& items, bool withEnd);

}  // namespace kestrel::sim
