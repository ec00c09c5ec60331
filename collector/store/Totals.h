#pragma once
// Pulses per device, input and period, read from the store's minute and
// hour rows. Shared by `kestrel-collector totals` and GET /api/totals.
//
// Which rows count: an hour that lies whole inside one period counts by its
// hour row; the rest of a period (the cut first and last period, every
// minute period, and days in a zone whose offset is not whole hours) counts
// by minute rows, a row counting where its minute starts. An hour row is the
// sum of that hour's minute rows, so the result is exact to the minute while
// the minute rows are kept. A series' minutes are complete from the first
// whole hour after its oldest minute row on; before that (its minutes pruned
// or never written) its hour rows count instead, each in the period its
// hour starts in: exact to the hour.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "collector/store/Periods.h"
#include "collector/store/Sqlite.h"

namespace kestrel::collector::store {

struct TotalsQuery {
  std::int64_t from = 0;  // seconds since 1970 (UTC), a whole minute
  std::int64_t to = 0;    // after from, a whole minute; not included
  PeriodUnit by = PeriodUnit::Hour;
  std::vector<std::string> devices;  // empty: every device
};

struct TotalRow {
  std::int64_t start = 0;  // the period [start, end)
  std::int64_t end = 0;
  std::string device;
  int input = 0;  // 1 = DI1
  std::int64_t pulses = 0;
  // False when no stored row counted in this period: the input was not read
  // then (the store writes a row of 0 for every minute it was read), so the
  // 0 in `pulses` means "no data", not "nothing counted".
  bool read = true;
};

// The most rows (periods times series) one answer may hold: enough for a
// year of hours of a hundred inputs, small enough to stay in memory.
inline constexpr std::size_t kMaxTotalRows = 1'000'000;

enum class TotalsStatus { Ok, BadQuery, StoreFailed };

// Calls `row` for every period and every device and input with any row in
// the range (zeros included, so that sums need no gaps filled; `read` tells
// a period without rows, where a chart leaves a gap),
// ordered by period, device, input. The rows are counted before the first
// call, so a refused query emits nothing. `error` says why when not Ok.
TotalsStatus ReadTotals(Connection& db, const TotalsQuery& query, const std::function<void(const TotalRow&)>& row,
                        std::string& error);

}  // namespace kestrel::collector::store
