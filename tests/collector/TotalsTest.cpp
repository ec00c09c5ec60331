// Totals from the store: the times people write, periods across clock
// changes (in Berlin, where 2026-03-29 has 23 hours and 2026-10-25 has 25),
// sums from minute and hour rows, and the command that prints them.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <sstream>

#include "collector/TotalsCommand.h"
#include "collector/store/Schema.h"
#include "collector/store/Totals.h"

namespace kestrel::collector::store {
namespace {

constexpr std::int64_t kMidnight0329 = 1774738800;  // 2026-03-29T00:00+01:00
constexpr std::int64_t kHour = 3600;

// Berlin time for the test, the process's zone again after it.
class Berlin : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = getenv("TZ")) saved_ = tz;
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
  }
  void TearDown() override {
    if (saved_) setenv("TZ", saved_->c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

TEST_F(Berlin, TimesWithOffsetOrInLocalTime) {
  struct Case {
    const char* text;
    std::int64_t seconds;  // since kMidnight0329; ignored when refused
    const char* refusal;   // part of the reason, nullptr when parsed
  } cases[] = {
      {"2026-03-29", 0, nullptr},
      {"2026-03-29T03:30", 2 * kHour + 1800, nullptr},  // summer time already
      {"2026-03-29T01:59:59", kHour + 3599, nullptr},
      {"2026-03-29T02:30:00+02:00", 5400, nullptr},
      {"2026-03-29T02:30:00.000+02:00", 5400, nullptr},  // as the collector writes it
      {"2026-03-28T23:00Z", 0, nullptr},
      {"2026-03-28T17:30-05:30", 0, nullptr},
      {"2026-03-29T02:30", 0, "does not exist"},
      {"2026-10-25T02:30", 0, "happens twice"},
      {"2026-03-29T02:30:00.50+02:00", 0, "fractions"},
      {"2026-02-29", 0, "no such date"},
      {"1969-12-31T23:00Z", 0, "no such date"},
      {"2262-10-25T02:30Z", 0, "outside"},
      {"2026-03-29T24:00", 0, "no such date"},
      {"2026-03-29T02:30:60Z", 0, "no such date"},
      {"2026-03-29 02:30", 0, "not a time"},
      {"2026-03-29T02:30+2", 0, "not a time"},
      {"2026-03-29T02:30+02:00 ", 0, "not a time"},
      {"2026-3-29", 0, "not a time"},
      {"", 0, "not a time"},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<std::int64_t> t = ParseTime(c.text, error);
    ASSERT_EQ(t.has_value(), c.refusal == nullptr) << c.text << ": " << error;
    if (t) EXPECT_EQ(*t - kMidnight0329, c.seconds) << c.text;
    else EXPECT_NE(error.find(c.refusal), std::string::npos) << c.text << ": " << error;
  }
  std::string error;
  EXPECT_EQ(ParseTime("2024-02-29T12:00Z", error).value_or(0), 1709208000);
}

TEST_F(Berlin, DaysAndMonthsFollowLocalMidnights) {
  std::string error;
  const auto local = [&](const char* text) { return ParseTime(text, error).value_or(0); };
  struct Case {
    const char* from;
    const char* to;
    PeriodUnit by;
    std::vector<std::int64_t> hours;  // length of each period
  } cases[] = {
      {"2026-03-28", "2026-03-31", PeriodUnit::Day, {24, 23, 24}},
      {"2026-10-24", "2026-10-27", PeriodUnit::Day, {24, 25, 24}},
      {"2026-10-25T12:00", "2026-10-26T06:00", PeriodUnit::Day, {12, 6}},
      {"2026-03-01", "2026-05-01", PeriodUnit::Month, {31 * 24 - 1, 30 * 24}},
      {"2026-03-29T00:30Z", "2026-03-29T02:00Z", PeriodUnit::Hour, {0, 1}},  // cut: 30 min, 1 h
  };
  for (const Case& c : cases) {
    const auto bounds = SplitPeriods(local(c.from), local(c.to), c.by, 100, error);
    ASSERT_TRUE(bounds) << c.from << ": " << error;
    std::vector<std::int64_t> hours;
    for (std::size_t i = 0; i + 1 < bounds->size(); ++i) hours.push_back(((*bounds)[i + 1] - (*bounds)[i]) / kHour);
    EXPECT_EQ(hours, c.hours) << c.from << " " << c.to;
  }
  EXPECT_FALSE(SplitPeriods(0, 101 * 60, PeriodUnit::Minute, 100, error));
  EXPECT_NE(error.find("more than 100 periods"), std::string::npos) << error;
  EXPECT_FALSE(SplitPeriods(60, 60, PeriodUnit::Hour, 100, error));
}

// A store with rows as the collector writes them. press-1 DI1 counts one
// pulse a minute; its minutes before 10:30 (UTC) were pruned. press-2 DI3
// has hour rows only. meter DI1 counted 5 in the first minute.
class TotalsStore : public Berlin {
 protected:
  void SetUp() override {
    Berlin::SetUp();
    folder_ = std::filesystem::temp_directory_path() / ("kestrel-totals-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
    path_ = (folder_ / "store.db").string();
    std::string error;
    auto db = OpenStoreForWriting(path_, error);
    ASSERT_TRUE(db) << error;
    std::string sql = "BEGIN;";
    const auto row = [&](const char* table, const char* device, int input, std::int64_t t, std::int64_t pulses) {
      sql += std::string("INSERT INTO ") + table + " VALUES('" + device + "'," + std::to_string(input) + "," +
             std::to_string(t) + "," + std::to_string(pulses) + ");";
    };
    for (std::int64_t h = 0; h < 25; ++h) row("hours", "press-1", 1, kMidnight0329 + h * kHour, 60);
    for (std::int64_t m = 10 * 60 + 30; m < 25 * 60; ++m) row("minutes", "press-1", 1, kMidnight0329 + m * 60, 1);
    row("hours", "press-2", 3, kMidnight0329 + kHour, 7);
    row("hours", "meter", 1, kMidnight0329, 5);
    row("minutes", "meter", 1, kMidnight0329, 5);
    ASSERT_TRUE(db->Exec(sql + "COMMIT;", error)) << error;
  }
  void TearDown() override {
    std::filesystem::remove_all(folder_);
    Berlin::TearDown();
  }

  std::filesystem::path folder_;
  std::string path_;
};

TEST_F(TotalsStore, SumsPerPeriodFromMinutesAndHours) {
  const std::int64_t t0 = kMidnight0329;
  const std::int64_t minute = 60;
  struct Case {
    const char* what;
    TotalsQuery query;
    // "offset device input pulses", offset in minutes from t0, "pulses -" for a
    // period without stored rows (not read then)
    std::vector<std::string> rows;
  } cases[] = {
      {"the 23-hour day and the next",
       {t0, t0 + 47 * kHour, PeriodUnit::Day, {}},
       {"0 meter 1 5", "0 press-1 1 1380", "0 press-2 3 7", "1380 meter 1 0 -", "1380 press-1 1 120",
        "1380 press-2 3 0 -"}},
      {"cut hours counted by their minutes",
       {t0 + 11 * kHour + 30 * minute, t0 + 13 * kHour + 30 * minute, PeriodUnit::Hour, {"press-1"}},
       {"690 press-1 1 30", "720 press-1 1 60", "780 press-1 1 30"}},
      {"a pruned hour counts in the minute it starts",
       {t0 + 10 * kHour, t0 + 10 * kHour + 2 * minute, PeriodUnit::Minute, {"press-1"}},
       {"600 press-1 1 60", "601 press-1 1 0 -"}},
      {"kept minutes",
       {t0 + 11 * kHour, t0 + 11 * kHour + 2 * minute, PeriodUnit::Minute, {"press-1"}},
       {"660 press-1 1 1", "661 press-1 1 1"}},
      {"months of chosen devices",
       {1772323200, t0 + 791 * kHour, PeriodUnit::Month, {"meter", "press-2"}},  // 03-01T01:00 to 05-01
       {"-40260 meter 1 5", "-40260 press-2 3 7", "4260 meter 1 0 -", "4260 press-2 3 0 -"}},
      {"nothing stored in the range", {t0 - kHour, t0, PeriodUnit::Hour, {}}, {}},
  };
  std::string error;
  auto db = OpenStoreForReading(path_, error);
  ASSERT_TRUE(db) << error;
  for (const Case& c : cases) {
    std::vector<std::string> rows;
    const TotalsStatus status = ReadTotals(*db, c.query, [&](const TotalRow& r) {
      rows.push_back(std::to_string((r.start - t0) / minute) + " " + r.device + " " + std::to_string(r.input) +
                     " " + std::to_string(r.pulses) + (r.read ? "" : " -"));
    }, error);
    ASSERT_EQ(status, TotalsStatus::Ok) << c.what << ": " << error;
    EXPECT_EQ(rows, c.rows) << c.what;
  }
  // A year of minutes of three inputs is more than one answer holds.
  EXPECT_EQ(ReadTotals(*db, {t0 - 365 * 24 * kHour, t0 + kHour, PeriodUnit::Minute, {}}, [](const TotalRow&) {},
                       error),
            TotalsStatus::BadQuery);
  EXPECT_NE(error.find("more than 1000000 rows"), std::string::npos) << error;
  EXPECT_EQ(ReadTotals(*db, {t0 + 30, t0 + kHour, PeriodUnit::Hour, {}}, [](const TotalRow&) {}, error),
            TotalsStatus::BadQuery);
}

TEST_F(TotalsStore, CommandLineExitStatusAndOutput) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out;  // start of standard output
    const char* err;  // part of standard error
  } cases[] = {
      {{"--store", path_, "--from", "2026-03-29", "--to", "2026-03-29T01:00", "--device", "meter"},
       0, "period_start,device,input,pulses\n2026-03-29T00:00:00.000+01:00,meter,DI1,5\n", ""},
      {{"--store=" + path_, "--from=2026-03-29", "--to=2026-03-29T01:00", "--by=day", "--json", "--device=meter"},
       0, "{\"from\":\"2026-03-29T00:00:00.000+01:00\",\"to\":\"2026-03-29T01:00:00.000+01:00\","
          "\"device\":\"meter\",\"input\":\"DI1\",\"pulses\":5}\n", ""},
      {{"--store", path_, "--from", "2026-03-29", "--to", "2026-03-30", "--by", "week"}, 2, "", "--by 'week'"},
      {{"--store", path_, "--from", "2026-03-29T02:30", "--to", "2026-03-30"}, 2, "", "does not exist"},
      {{"--store", path_, "--to", "2026-03-30"}, 2, "", "--from missing"},
      {{"--from", "2026-03-29", "--to", "2026-03-30"}, 2, "", "--store missing"},
      {{"--store", (folder_ / "none.db").string(), "--from", "2026-03-29", "--to", "2026-03-30"}, 2, "",
       "kestrel-collector: "},
      {{"--help"}, 0, "Usage: kestrel-collector totals", ""},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunTotalsCommand(c.args, out, err), c.status) << c.args[0] << " " << err.str();
    EXPECT_EQ(out.str().rfind(c.out, 0), 0u) << out.str();
    EXPECT_NE(err.str().find(c.err), std::string::npos) << err.str();
  }
}

}  // namespace
}  // namespace kestrel::collector::store
