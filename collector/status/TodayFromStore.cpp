#include "collector/status/TodayFromStore.h"

#include "collector/store/Schema.h"
#include "collector/store/Totals.h"

namespace kestrel::collector {

bool SeedTodayFromStore(const std::string& storePath, WallClock::time_point now, DeviceActivity& activity,
                        std::string& error) {
  const std::int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  store::TotalsQuery query;
  query.from = LocalDayStart(seconds);
  query.to = (seconds / 60 + 1) * 60;  // the store's rows go up to the current minute
  query.by = store::PeriodUnit::Day;
  const std::unique_ptr<store::Connection> db = store::OpenStoreForReading(storePath, error);
  if (!db) return false;
  return store::ReadTotals(*db, query, [&](const store::TotalRow& row) {
           if (row.read) activity.SeedToday(row.device, row.input, static_cast<std::uint64_t>(row.pulses), query.from);
         }, error) == store::TotalsStatus::Ok;
}

}  // namespace kestrel::collector
