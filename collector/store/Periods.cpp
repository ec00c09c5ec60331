#include "collector/store/Periods.h"

#include <ctime>

namespace kestrel::collector::store {

namespace {

struct Fields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Reads the text from the front, one piece at a time.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  bool AtEnd() const { return position_ == text_.size(); }
  bool Peek(char c) const { return position_ < text_.size() && text_[position_] == c; }
  bool Take(char c) {
    if (!Peek(c)) return false;
    ++position_;
    return true;
  }
  // Exactly `count` decimal digits.
  bool Number(int count, int& value) {
    if (text_.size() - position_ < static_cast<std::size_t>(count)) return false;
    value = 0;
    for (int i = 0; i < count; ++i) {
      const char c = text_[position_ + static_cast<std::size_t>(i)];
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    position_ += static_cast<std::size_t>(count);
    return true;
  }
  // A fraction's digits: false when none, `zero` false when one is not 0.
  bool Fraction(bool& zero) {
    const std::size_t start = position_;
    zero = true;
    for (; position_ < text_.size() && text_[position_] >= '0' && text_[position_] <= '9'; ++position_)
      if (text_[position_] != '0') zero = false;
    return position_ > start;
  }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

constexpr char kForm[] = "not a time: YYYY-MM-DD[THH:MM[:SS]] with Z, +HH:MM, -HH:MM or nothing (local time)";

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int year, int month, int day) {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = y / 400;  // years are 1970 and later
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

std::tm ToTm(const Fields& f) {
  std::tm t{};
  t.tm_year = f.year - 1900;
  t.tm_mon = f.month - 1;
  t.tm_mday = f.day;
  t.tm_hour = f.hour;
  t.tm_min = f.minute;
  t.tm_sec = f.second;
  return t;
}

bool SameFields(const std::tm& a, const std::tm& b) {
  return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday && a.tm_hour == b.tm_hour &&
         a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

// The one instant that shows these local fields. mktime alone would guess:
// it moves a skipped time by the change and picks one of a repeated time's
// two instants. So every reading (summer time, standard time, mktime's own
// choice) is tried and kept only when it shows the fields again.
std::optional<std::int64_t> LocalInstant(const Fields& f, std::string& error) {
  const std::tm wanted = ToTm(f);
  std::optional<std::time_t> found;
  for (const int isDst : {-1, 0, 1}) {
    std::tm t = wanted;
    t.tm_isdst = isDst;
    const std::time_t instant = std::mktime(&t);
    std::tm back{};
    if (localtime_r(&instant, &back) == nullptr || !SameFields(back, wanted)) continue;
    if (found && *found != instant) {
      error = "this local time happens twice (the clock is set back); give its offset";
      return std::nullopt;
    }
    found = instant;
  }
  if (!found) error = "this local time does not exist (the clock skips it); give an offset";
  return found;
}

bool ReadFields(Cursor& c, Fields& f, std::string& error) {
  if (!c.Number(4, f.year) || !c.Take('-') || !c.Number(2, f.month) || !c.Take('-') || !c.Number(2, f.day)) {
    error = kForm;
    return false;
  }
  if (c.Take('T')) {
    if (!c.Number(2, f.hour) || !c.Take(':') || !c.Number(2, f.minute)) {
      error = kForm;
      return false;
    }
    if (c.Take(':')) {
      bool zero = true;
      if (!c.Number(2, f.second) || (c.Take('.') && !c.Fraction(zero))) {
        error = kForm;
        return false;
      }
      if (!zero) {
        error = "fractions of a second are not kept; give whole seconds";
        return false;
      }
    }
  }
  if (f.year < 1970 || f.month < 1 || f.month > 12 || f.day < 1 || f.day > DaysInMonth(f.year, f.month) ||
      f.hour > 23 || f.minute > 59 || f.second > 59) {
    error = "no such date or time of day (years from 1970)";
    return false;
  }
  return true;
}

// "Z" or "+HH:MM"/"-HH:MM" as minutes east of UTC; nullopt for local time.
std::optional<int> ReadOffset(Cursor& c, bool& ok) {
  ok = true;
  if (c.Take('Z')) return 0;
  const bool east = c.Peek('+');
  if (!c.Take('+') && !c.Take('-')) return std::nullopt;
  int hours = 0;
  int minutes = 0;
  ok = c.Number(2, hours) && c.Take(':') && c.Number(2, minutes) && hours <= 23 && minutes <= 59;
  return (east ? 1 : -1) * (hours * 60 + minutes);
}

std::optional<std::int64_t> NextStart(std::int64_t t, PeriodUnit unit) {
  if (unit == PeriodUnit::Minute) return (FloorDiv(t, 60) + 1) * 60;
  if (unit == PeriodUnit::Hour) return (FloorDiv(t, 3600) + 1) * 3600;
  // The next local midnight; mktime picks the offset valid then (tm_isdst
  // -1), so the day of a clock change ends after 23 or 25 hours.
  const std::time_t now = static_cast<std::time_t>(t);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return std::nullopt;
  local.tm_hour = local.tm_min = local.tm_sec = 0;
  if (unit == PeriodUnit::Day) {
    ++local.tm_mday;
  } else {
    local.tm_mday = 1;
    ++local.tm_mon;
  }
  local.tm_isdst = -1;
  const std::time_t next = std::mktime(&local);
  if (next <= now) return std::nullopt;  // a zone whose midnights go backwards
  return next;
}

}  // namespace

std::optional<PeriodUnit> ParsePeriodUnit(std::string_view text) {
  for (const PeriodUnit unit : {PeriodUnit::Minute, PeriodUnit::Hour, PeriodUnit::Day, PeriodUnit::Month})
    if (text == PeriodUnitName(unit)) return unit;
  return std::nullopt;
}

const char* PeriodUnitName(PeriodUnit unit) {
  switch (unit) {
    case PeriodUnit::Minute: return "minute";
    case PeriodUnit::Hour: return "hour";
    case PeriodUnit::Day: return "day";
    case PeriodUnit::Month: return "month";
  }
  return "hour";
}

std::optional<std::int64_t> ParseTime(std::string_view text, std::string& error) {
  Cursor c(text);
  Fields f;
  if (!ReadFields(c, f, error)) return std::nullopt;
  bool ok = true;
  const std::optional<int> offset = ReadOffset(c, ok);
  if (!ok || !c.AtEnd()) {
    error = kForm;
    return std::nullopt;
  }
  const std::optional<std::int64_t> t =
      offset ? DaysFromCivil(f.year, f.month, f.day) * 86400 + f.hour * 3600 + f.minute * 60 + f.second -
                   std::int64_t{*offset} * 60
             : LocalInstant(f, error);
  // Bounded so that every instant taken also fits the collector's clock
  // type (nanoseconds in 64 bits end in 2262) and writes back in any zone.
  if (t && (*t < 0 || *t >= DaysFromCivil(2200, 1, 1) * 86400)) {
    error = "outside 1970-01-01T00:00Z to 2200-01-01T00:00Z";
    return std::nullopt;
  }
  return t;
}

std::optional<std::vector<std::int64_t>> SplitPeriods(std::int64_t from, std::int64_t to, PeriodUnit unit,
                                                      std::size_t maxPeriods, std::string& error) {
  if (from >= to) {
    error = "the start is not before the end";
    return std::nullopt;
  }
  std::vector<std::int64_t> bounds{from};
  while (bounds.back() < to) {
    if (bounds.size() > maxPeriods) {
      error = "more than " + std::to_string(maxPeriods) + " periods; choose longer periods or a shorter range";
      return std::nullopt;
    }
    const std::optional<std::int64_t> next = NextStart(bounds.back(), unit);
    if (!next) {
      error = "the local midnights of this time zone cannot be followed";
      return std::nullopt;
    }
    bounds.push_back(*next < to ? *next : to);
  }
  return bounds;
}

}  // namespace kestrel::collector::store
