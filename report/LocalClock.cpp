#include "report/LocalClock.h"

#include <cstdio>
#include <cstdlib>

namespace kestrel::report {

std::string FormatIsoTimestamp(const LocalTimestamp& t) {
  const int offset = std::abs(t.offsetMinutes);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                t.fields.tm_year + 1900, t.fields.tm_mon + 1, t.fields.tm_mday, t.fields.tm_hour,
                t.fields.tm_min, t.fields.tm_sec, t.milliseconds, t.offsetMinutes < 0 ? '-' : '+',
                offset / 60, offset % 60);
  return text;
}

}  // namespace kestrel::report
