#include <chrono>
#include <ctime>

#include "report/LocalClock.h"

namespace kestrel::report {

LocalTimestamp LocalNow() {
  using namespace std::chrono;
  const auto sinceEpoch = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(duration_cast<std::chrono::seconds>(sinceEpoch).count());
  LocalTimestamp t;
  localtime_s(&t.fields, &seconds);
  t.milliseconds = static_cast<int>(sinceEpoch.count() % 1000);
  // The runtime has no offset field: the local calendar time read back as if
  // it were UTC differs from the real instant by exactly the offset.
  std::tm copy = t.fields;
  t.offsetMinutes = static_cast<int>((_mkgmtime(&copy) - seconds) / 60);
  return t;
}

}  // namespace kestrel::report
