#include "collector/store/Schema.h"

#include <sys/stat.h>

#include <array>

namespace kestrel::collector::store {

namespace {

// The minute and hour rows are keyed by time first: every question asked of
// them (a period's totals, the removal of old rows) is a range of time, and
// a second index by time would double their size.
//
// Upgrades[v] takes a file of version v to version v + 1. A new file is
// version 0. Later versions append a step here; no step is ever edited.
constexpr std::array<const char*, kSchemaVersion> kUpgrades = {
    R"sql(
CREATE TABLE devices(
  name TEXT PRIMARY KEY, address TEXT NOT NULL, port INTEGER NOT NULL,
  model TEXT NOT NULL, unit INTEGER NOT NULL, product_code TEXT NOT NULL);
CREATE TABLE counters(
  device TEXT NOT NULL, input INTEGER NOT NULL, raw INTEGER NOT NULL,
  total INTEGER NOT NULL, time_ms INTEGER NOT NULL,
  PRIMARY KEY(device, input)) WITHOUT ROWID;
CREATE TABLE minutes(
  device TEXT NOT NULL, input INTEGER NOT NULL, minute INTEGER NOT NULL,
  pulses INTEGER NOT NULL, PRIMARY KEY(minute, device, input)) WITHOUT ROWID;
CREATE TABLE hours(
  device TEXT NOT NULL, input INTEGER NOT NULL, hour INTEGER NOT NULL,
  pulses INTEGER NOT NULL, PRIMARY KEY(hour, device, input)) WITHOUT ROWID;
CREATE TABLE outbox(seq INTEGER PRIMARY KEY, topic TEXT NOT NULL, payload BLOB NOT NULL);
)sql",
};

bool ReadVersion(Connection& db, int& version, std::string& error) {
  std::optional<Statement> query = db.Prepare("PRAGMA user_version", error);
  if (!query) return false;
  bool ok = true;
  version = query->Step(ok) ? static_cast<int>(query->Int(0)) : 0;
  if (!ok) error = db.LastError();
  return ok;
}

bool HasTables(Connection& db, std::string& error) {
  std::optional<Statement> query = db.Prepare(
      "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
      "('devices', 'counters', 'minutes', 'hours', 'outbox')", error);
  if (!query) return false;
  bool ok = true;
  const bool all = query->Step(ok) && query->Int(0) == 5;
  if (!ok) error = db.LastError();
  else if (!all) error = "tables of the store are missing";
  return ok && all;
}

bool CheckVersion(int version, std::string& error) {
  if (version <= kSchemaVersion) return true;
  error = "written by a newer collector (schema " + std::to_string(version) + ", this one knows up to " +
          std::to_string(kSchemaVersion) + ")";
  return false;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Opens the file and reads its schema version, refusing what is no store of
// a version this collector knows.
std::unique_ptr<Connection> OpenKnownVersion(const std::string& path, Connection::Mode mode, int& version,
                                             std::string& error) {
  if (IsDirectory(path)) {
    error = "is a directory";
    return nullptr;
  }
  std::unique_ptr<Connection> db = Connection::Open(path, mode, error);
  if (!db) return nullptr;
  // The first statement reads the file: "file is not a database" shows here.
  if (!ReadVersion(*db, version, error) || !CheckVersion(version, error)) return nullptr;
  return db;
}

}  // namespace

std::unique_ptr<Connection> OpenStoreForWriting(const std::string& path, std::string& error) {
  int version = 0;
  std::unique_ptr<Connection> db = OpenKnownVersion(path, Connection::Mode::ReadWrite, version, error);
  if (!db) return nullptr;
  // WAL: the writer's commits do not block readers (totals, the web page),
  // and a commit costs one sequential write. NORMAL synchronisation keeps
  // every commit across a crash of the collector; a power cut may lose the
  // last commits but never corrupts the file.
  if (!db->Exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL", error)) return nullptr;
  for (int v = version; v < kSchemaVersion; ++v) {
    const std::string step = std::string("BEGIN IMMEDIATE;") + kUpgrades[static_cast<std::size_t>(v)] +
                             "PRAGMA user_version = " + std::to_string(v + 1) + "; COMMIT;";
    if (!db->Exec(step, error)) {
      std::string ignored;
      db->Exec("ROLLBACK", ignored);
      error = "cannot upgrade the store from schema " + std::to_string(v) + ": " + error;
      return nullptr;
    }
  }
  if (!HasTables(*db, error)) return nullptr;
  return db;
}

std::unique_ptr<Connection> OpenStoreForReading(const std::string& path, std::string& error) {
  int version = 0;
  std::unique_ptr<Connection> db = OpenKnownVersion(path, Connection::Mode::ReadOnly, version, error);
  if (!db) return nullptr;
  if (version < kSchemaVersion) {
    error = "not a store of this collector, or not yet upgraded (schema " + std::to_string(version) +
            "); start the collector with it once";
    return nullptr;
  }
  if (!HasTables(*db, error)) return nullptr;
  return db;
}

}  // namespace kestrel::collector::store
