// The store: what a batch gathers and sheds, and which files it refuses.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>

#include "collector/store/Schema.h"
#include "collector/store/StoreBatch.h"
#include "collector/store/StoredState.h"

namespace kestrel::collector::store {
namespace {

Sample SampleAt(std::int64_t ms, std::uint64_t increase, std::uint64_t total) {
  Sample s;
  s.device.name = "press";
  s.time = WallClock::time_point(std::chrono::milliseconds(ms));
  s.inputCount = 8;
  s.inputs[2].present = true;  // DI3 only
  s.inputs[2].raw = static_cast<std::uint32_t>(total);
  s.inputs[2].increase = increase;
  s.inputs[2].total = total;
  return s;
}

TEST(StoreBatch, SumsMinutesAndHoursAndMergesFailedBatches) {
  StoreBatch older;
  older.AddSample(SampleAt(3'599'999, 5, 5));  // the last millisecond of hour 0, minute 59
  older.AddSample(SampleAt(3'600'000, 7, 12));  // the first of hour 1
  StoreBatch newer;
  newer.AddSample(SampleAt(3'630'000, 1, 13));  // minute 60 again
  newer.OutboxAdd(1, {"t", "a"});
  newer.OutboxRemove(1);  // acknowledged before it was ever written
  newer.OutboxRemove(0);  // one written before
  older.Merge(std::move(newer));

  const auto row = [](const std::map<PeriodKey, std::uint64_t>& rows, std::int64_t start) {
    const auto it = rows.find(PeriodKey{start, "press", 3});
    return it == rows.end() ? std::uint64_t{999} : it->second;
  };
  EXPECT_EQ(row(older.minutes, 3540), 5u);
  EXPECT_EQ(row(older.minutes, 3600), 8u);
  EXPECT_EQ(row(older.hours, 0), 5u);
  EXPECT_EQ(row(older.hours, 3600), 8u);
  EXPECT_EQ(older.minutes.size(), 2u) << "only inputs that were read have rows";
  EXPECT_EQ((older.counters.at({"press", 3}).total), 13u);
  EXPECT_TRUE(older.outboxAdded.empty());
  EXPECT_EQ(older.outboxRemoved, std::set<std::uint64_t>{0});

  EXPECT_EQ(older.Shed(1), 2u) << "one minute and one hour row over the limit";
  EXPECT_EQ(row(older.minutes, 3600), 8u) << "the newest rows stay";
  EXPECT_EQ(row(older.hours, 3600), 8u);

  older.DiscardCounters("press");
  EXPECT_TRUE(older.counters.empty());
  EXPECT_EQ(older.discarded.count("press"), 1u);
}

TEST(StoreFile, RefusesFilesItCannotUse) {
  const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "store-files";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "folder.db");
  std::ofstream(dir / "text.db") << "not a database, only text that is long enough to be read\n";
  {
    sqlite3* db = nullptr;
    sqlite3_open((dir / "newer.db").c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  struct Case {
    const char* file;
    bool forReading;
    const char* reason;  // empty: usable
  } const cases[] = {
      {"new.db", false, ""},
      {"new.db", true, ""},  // made by the line before
      {"missing.db", true, "unable to open database file"},
      {"folder.db", false, "is a directory"},
      {"text.db", false, "file is not a database"},
      {"newer.db", false, "written by a newer collector (schema 99, this one knows up to 1)"},
      {"newer.db", true, "written by a newer collector"},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::string path = (dir / c.file).string();
    const bool opened = c.forReading ? OpenStoreForReading(path, error) != nullptr
                                     : OpenStore(path, error).has_value();
    EXPECT_EQ(opened, c.reason[0] == '\0') << c.file << ": " << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.file << ": " << error;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kestrel::collector::store
