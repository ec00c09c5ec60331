#include "collector/store/Totals.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <utility>

namespace kestrel::collector::store {

namespace {

constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kHour = 3600;

std::int64_t FloorTo(std::int64_t t, std::int64_t step) { return (t / step - (t % step < 0 ? 1 : 0)) * step; }
std::int64_t CeilTo(std::int64_t t, std::int64_t step) { return -FloorTo(-t, step); }

using Series = std::pair<std::string, int>;  // device, input

struct Range {
  std::int64_t from;
  std::int64_t to;
};

// The parts of the periods that hour rows cannot split: everything but the
// whole hours inside each period, joined where they touch.
std::vector<Range> MinuteRanges(const std::vector<std::int64_t>& bounds) {
  std::vector<Range> ranges;
  const auto add = [&](std::int64_t from, std::int64_t to) {
    if (from >= to) return;
    if (!ranges.empty() && ranges.back().to == from) ranges.back().to = to;
    else ranges.push_back({from, to});
  };
  for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
    const std::int64_t wholeFrom = CeilTo(bounds[i], kHour);
    const std::int64_t wholeTo = FloorTo(bounds[i + 1], kHour);
    if (wholeFrom < wholeTo) {
      add(bounds[i], wholeFrom);
      add(wholeTo, bounds[i + 1]);
    } else {
      add(bounds[i], bounds[i + 1]);
    }
  }
  return ranges;
}

// The sums per series and period, and when each series' minutes start.
class Tally {
 public:
  Tally(Connection& db, std::vector<std::int64_t> bounds) : db_(db), bounds_(std::move(bounds)) {}

  std::size_t periods() const { return bounds_.size() - 1; }
  const std::vector<std::int64_t>& bounds() const { return bounds_; }
  // The period that `t` (inside the range) lies in.
  std::size_t PeriodOf(std::int64_t t) const {
    return static_cast<std::size_t>(std::upper_bound(bounds_.begin(), bounds_.end(), t) - bounds_.begin() - 1);
  }
  bool InRange(std::int64_t t) const { return t >= bounds_.front() && t < bounds_.back(); }
  // Whether the hour starting at `hour` lies whole inside one period.
  bool WholeInPeriod(std::int64_t hour) const {
    return InRange(hour) && hour + kHour <= bounds_[PeriodOf(hour) + 1];
  }

  // The sums of a series, zero when new; nullptr when one more series would
  // make the answer too large.
  std::vector<std::int64_t>* Sums(const Series& series, std::string& error) {
    if (auto found = sums_.find(series); found != sums_.end()) return &found->second;
    read_.emplace(series, std::vector<bool>(periods(), false));
    if ((sums_.size() + 1) * periods() > kMaxTotalRows) {
      error = "the answer would have more than " + std::to_string(kMaxTotalRows) + " rows (" +
              std::to_string(periods()) + " periods of " + std::to_string(sums_.size() + 1) +
              " inputs or more); choose longer periods, a shorter range or fewer devices";
      return nullptr;
    }
    return &sums_.emplace(series, std::vector<std::int64_t>(periods(), 0)).first->second;
  }

  // The first hour from which the series' minute rows are complete: the
  // hour after its oldest minute row (pruning may have cut that hour), or
  // never when it has none.
  std::optional<std::int64_t> MinutesFrom(const Series& series, std::string& error) {
    if (auto found = minutesFrom_.find(series); found != minutesFrom_.end()) return found->second;
    if (!oldest_) {
      oldest_ = db_.Prepare("SELECT minute FROM minutes WHERE device = ?1 AND input = ?2 ORDER BY minute LIMIT 1",
                            error);
      if (!oldest_) return std::nullopt;
    }
    oldest_->Bind(1, series.first).Bind(2, std::int64_t{series.second});
    bool ok = true;
    const std::int64_t from = oldest_->Step(ok) ? CeilTo(oldest_->Int(0), kHour)
                                                : std::numeric_limits<std::int64_t>::max();
    oldest_->Reset();
    if (!ok) {
      error = db_.LastError();
      return std::nullopt;
    }
    minutesFrom_.emplace(series, from);
    return from;
  }

  // Counts `pulses` of a stored row of `series` in period `p`.
  void Count(const Series& series, std::size_t p, std::int64_t pulses) {
    sums_.at(series)[p] += pulses;
    read_.at(series)[p] = true;
  }

  const std::map<Series, std::vector<std::int64_t>>& sums() const { return sums_; }
  bool Read(const Series& series, std::size_t p) const { return read_.at(series)[p]; }

 private:
  Connection& db_;
  std::vector<std::int64_t> bounds_;
  std::map<Series, std::vector<std::int64_t>> sums_;  // ordered by device, input
  std::map<Series, std::vector<bool>> read_;           // periods with a row counted
  std::map<Series, std::int64_t> minutesFrom_;
  std::optional<Statement> oldest_;
};

// Steps through `SELECT device, input, <time>, pulses ... WHERE <time> >= ?1
// AND <time> < ?2 [AND device IN (?3...)]`, calling `use` per row; `use`
// returns false to stop with its error.
template <typename Use>
TotalsStatus EachRow(Connection& db, const std::string& table, const std::string& column, const Range& range,
                     const std::vector<std::string>& devices, Use use, std::string& error) {
  std::string sql = "SELECT device, input, " + column + ", pulses FROM " + table + " WHERE " + column +
                    " >= ?1 AND " + column + " < ?2";
  if (!devices.empty()) {
    sql += " AND device IN (";
    for (std::size_t i = 0; i < devices.size(); ++i) sql += (i ? ", ?" : "?") + std::to_string(i + 3);
    sql += ")";
  }
  std::optional<Statement> rows = db.Prepare(sql, error);
  if (!rows) return TotalsStatus::StoreFailed;
  rows->Bind(1, range.from).Bind(2, range.to);
  for (std::size_t i = 0; i < devices.size(); ++i) rows->Bind(static_cast<int>(i + 3), devices[i]);
  bool ok = true;
  while (rows->Step(ok)) {
    const Series series{rows->Text(0), static_cast<int>(rows->Int(1))};
    const TotalsStatus status = use(series, rows->Int(2), rows->Int(3));
    if (status != TotalsStatus::Ok) return status;
  }
  if (!ok) {
    error = db.LastError();
    return TotalsStatus::StoreFailed;
  }
  return TotalsStatus::Ok;
}

struct HourRow {
  Series series;
  std::int64_t hour;
  std::int64_t pulses;
};

TotalsStatus Collect(Connection& db, const TotalsQuery& query, Tally& tally, std::string& error) {
  // Hour rows: whole hours count at once; the others wait until it is known
  // whether their minutes are there. Hours that begin before `from` only
  // show that the series has rows in the range.
  std::vector<HourRow> partHours;
  const Range hours{FloorTo(query.from, kHour), query.to};
  TotalsStatus status = EachRow(db, "hours", "hour", hours, query.devices,
      [&](const Series& series, std::int64_t hour, std::int64_t pulses) {
        if (tally.Sums(series, error) == nullptr) return TotalsStatus::BadQuery;
        if (tally.WholeInPeriod(hour)) tally.Count(series, tally.PeriodOf(hour), pulses);
        else if (tally.InRange(hour)) partHours.push_back({series, hour, pulses});
        return TotalsStatus::Ok;
      }, error);
  if (status != TotalsStatus::Ok) return status;

  for (const Range& range : MinuteRanges(tally.bounds())) {
    status = EachRow(db, "minutes", "minute", range, query.devices,
        [&](const Series& series, std::int64_t minute, std::int64_t pulses) {
          if (tally.Sums(series, error) == nullptr) return TotalsStatus::BadQuery;
          const std::optional<std::int64_t> from = tally.MinutesFrom(series, error);
          if (!from) return TotalsStatus::StoreFailed;
          if (FloorTo(minute, kHour) >= *from) tally.Count(series, tally.PeriodOf(minute), pulses);
          return TotalsStatus::Ok;
        }, error);
    if (status != TotalsStatus::Ok) return status;
  }

  for (const HourRow& h : partHours) {
    const std::optional<std::int64_t> from = tally.MinutesFrom(h.series, error);
    if (!from) return TotalsStatus::StoreFailed;
    if (h.hour < *from) tally.Count(h.series, tally.PeriodOf(h.hour), h.pulses);
  }
  return TotalsStatus::Ok;
}

}  // namespace

TotalsStatus ReadTotals(Connection& db, const TotalsQuery& query, const std::function<void(const TotalRow&)>& row,
                        std::string& error) {
  if (FloorTo(query.from, kMinute) != query.from || FloorTo(query.to, kMinute) != query.to) {
    error = "the range must start and end at whole minutes, the store's finest step";
    return TotalsStatus::BadQuery;
  }
  std::optional<std::vector<std::int64_t>> bounds = SplitPeriods(query.from, query.to, query.by, kMaxTotalRows, error);
  if (!bounds) return TotalsStatus::BadQuery;
  Tally tally(db, std::move(*bounds));

  // One read transaction: every query sees the same commit of the writer.
  if (!db.Exec("BEGIN", error)) return TotalsStatus::StoreFailed;
  const TotalsStatus status = Collect(db, query, tally, error);
  std::string ignored;
  db.Exec("COMMIT", ignored);
  if (status != TotalsStatus::Ok) return status;

  TotalRow out;
  for (std::size_t p = 0; p < tally.periods(); ++p) {
    out.start = tally.bounds()[p];
    out.end = tally.bounds()[p + 1];
    for (const auto& [series, sums] : tally.sums()) {
      out.device = series.first;
      out.input = series.second;
      out.pulses = sums[p];
      out.read = tally.Read(series, p);
      row(out);
    }
  }
  return TotalsStatus::Ok;
}

}  // namespace kestrel::collector::store
