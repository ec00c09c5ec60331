#pragma once
// The text forms of the records: one JSON object per line, and the CSV rows.
#include <string>

#include "collector/Records.h"

namespace kestrel::collector {

// ISO 8601 local time with milliseconds and offset.
std::string IsoTime(WallClock::time_point time);
// The local calendar date, "YYYY-MM-DD".
std::string LocalDate(WallClock::time_point time);

std::string SampleJson(const Sample& sample);
std::string EventJson(const Event& event);

// "time,DI1,...,DIn,DI1 increase,...,DIn increase": the header of kestrelctl
// read with the increases beside the raw counts. Disabled inputs stay empty.
std::string CsvHeader(std::int32_t inputCount);
std::string CsvRow(const Sample& sample);

}  // namespace kestrel::collector
