#pragma once
// Wall-clock time stamps for count samples: local time with its UTC offset.
#include <ctime>
#include <string>

namespace kestrel::report {

struct LocalTimestamp {
  std::tm fields{};       // local calendar time
  int milliseconds = 0;   // 0..999
  int offsetMinutes = 0;  // local time minus UTC
};

// The current local time (platform backend).
LocalTimestamp LocalNow();

// ISO 8601 with milliseconds and offset: "2025-03-14T09:26:53.589+09:00".
std::string FormatIsoTimestamp(const LocalTimestamp& t);

}  // namespace kestrel::report
