#pragma once
// The time side of the store's totals: the times a user writes and the
// periods a range splits into. Times are seconds since 1970 (UTC); local
// time is the process's time zone (TZ). No database here.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::collector::store {

enum class PeriodUnit { Minute, Hour, Day, Month };

// "minute", "hour", "day" or "month".
std::optional<PeriodUnit> ParsePeriodUnit(std::string_view text);
const char* PeriodUnitName(PeriodUnit unit);

// ISO 8601: "YYYY-MM-DD" (midnight), "YYYY-MM-DDTHH:MM" or
// "YYYY-MM-DDTHH:MM:SS", the seconds optionally with a fraction of zeros (as
// the collector writes its times), then "Z", "+HH:MM", "-HH:MM" or nothing
// for local time. A local time that a clock change skips or repeats is
// refused: the offset then says which instant is meant. Instants from 1970
// up to the start of 2200 (UTC).
// nullopt and the reason when the text is not such a time.
std::optional<std::int64_t> ParseTime(std::string_view text, std::string& error);

// The boundaries of the periods of [from, to): from, the period starts in
// between, to. Minutes and hours start at whole UTC minutes and hours (in a
// zone with a half-hour offset an hour thus starts at :30 local time, the
// hours the store keeps); days and months start at local midnight, so a
// day of a clock change has 23 or 25 hours. The first and last period are
// cut at from and to. nullopt and the reason when from is not before to or
// the range has more than `maxPeriods` periods.
std::optional<std::vector<std::int64_t>> SplitPeriods(std::int64_t from, std::int64_t to, PeriodUnit unit,
                                                      std::size_t maxPeriods, std::string& error);

}  // namespace kestrel::collector::store
