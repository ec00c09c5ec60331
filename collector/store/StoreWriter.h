#pragma once
// The store's SQL for writing: one batch a transaction, so the counter state
// and the minute and hour rows of a sample are committed together or not at
// all; and the removal of rows past their keeping time.
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "collector/store/Sqlite.h"
#include "collector/store/StoreBatch.h"

namespace kestrel::collector::store {

class StoreWriter {
 public:
  // nullptr and why when the statements cannot be prepared.
  static std::unique_ptr<StoreWriter> Create(std::unique_ptr<Connection> db, std::string& error);

  // Writes the whole batch in one transaction; false and why (the file is
  // left as it was) when it cannot.
  bool Commit(const StoreBatch& batch, std::string& error);
  // Deletes minute rows older than `keepMinutes` and hour rows older than
  // `keepHours` before `now`.
  bool Prune(std::chrono::hours keepMinutes, std::chrono::hours keepHours, WallClock::time_point now,
             std::string& error);

 private:
  explicit StoreWriter(std::unique_ptr<Connection> db) : db_(std::move(db)) {}
  bool Prepare(std::string& error);
  bool Write(const StoreBatch& batch);

  std::unique_ptr<Connection> db_;
  std::optional<Statement> device_, forget_, counter_, minute_, hour_, outboxAdd_, outboxRemove_;
};

}  // namespace kestrel::collector::store
