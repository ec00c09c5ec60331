#pragma once
// The header line of counts written as CSV: "time,DI1,...,DIn". kestrelctl's
// read and the collector's CSV files both begin with it, so a script that
// reads one reads the other.
#include <cstdint>
#include <string>

namespace kestrel::report {

inline std::string SampleHeader(std::int32_t inputCount) {
  std::string header = "time";
  for (std::int32_t k = 0; k < inputCount; ++k) header += ",DI" + std::to_string(k + 1);
  return header;
}

}  // namespace kestrel::report
