#include <chrono>
#include <ctime>

#include "report/LocalClock.h"

namespace kestrel::report {

LocalTimestamp LocalNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto sinceEpoch = duration_cast<milliseconds>(now.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(duration_cast<std::chrono::seconds>(sinceEpoch).count());
  LocalTimestamp t;
  localtime_r(&seconds, &t.fields);
  t.milliseconds = static_cast<int>(sinceEpoch.count() % 1000);
  t.offsetMinutes = static_cast<int>(t.fields.tm_gmtoff / 60);
  return t;
}

}  // namespace kestrel::report
