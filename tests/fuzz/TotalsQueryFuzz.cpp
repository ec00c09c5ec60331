// The times and query of a totals request, as anyone who reaches
// /api/totals or the command line can write them: a time that is taken
// reads back as the same instant in UTC and in the collector's own local
// form, and a range that is taken splits into periods that cover it
// exactly, in order.
#include <stdlib.h>

#include <chrono>
#include <ctime>
#include <string>

#include "collector/RecordText.h"
#include "collector/store/TotalsRequest.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace kestrel::collector;

std::string UtcText(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

void CheckTime(const std::string& text) {
  std::string error;
  const std::optional<std::int64_t> t = store::ParseTime(text, error);
  if (!t) {
    FUZZ_CHECK(!error.empty());
    return;
  }
  FUZZ_CHECK(store::ParseTime(UtcText(*t), error) == t);
  const std::string local = IsoTime(WallClock::time_point(std::chrono::seconds(*t)));
  FUZZ_CHECK(store::ParseTime(local, error) == t);
}

void CheckPeriods(const store::TotalsQuery& query) {
  FUZZ_CHECK(query.from < query.to);
  FUZZ_CHECK(query.devices.size() <= store::kMaxTotalsDevices);
  std::string error;
  const auto bounds = store::SplitPeriods(query.from, query.to, query.by, 50, error);
  if (!bounds) return;
  FUZZ_CHECK(bounds->size() >= 2 && bounds->size() <= 51);
  FUZZ_CHECK(bounds->front() == query.from && bounds->back() == query.to);
  for (std::size_t i = 0; i + 1 < bounds->size(); ++i) FUZZ_CHECK((*bounds)[i] < (*bounds)[i + 1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Berlin's clock changes give local times that are skipped and repeated.
  static const bool berlin = [] {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    return true;
  }();
  (void)berlin;
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckTime(text);
  std::string error;
  if (const auto query = store::ParseTotalsQuery(text, error)) CheckPeriods(*query);
  else FUZZ_CHECK(!error.empty());
  return 0;
}
