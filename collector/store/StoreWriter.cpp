#include "collector/store/StoreWriter.h"

namespace kestrel::collector::store {

std::unique_ptr<StoreWriter> StoreWriter::Create(std::unique_ptr<Connection> db, std::string& error) {
  std::unique_ptr<StoreWriter> writer(new StoreWriter(std::move(db)));
  if (!writer->Prepare(error)) return nullptr;
  return writer;
}

bool StoreWriter::Prepare(std::string& error) {
  const auto prepare = [&](std::optional<Statement>& into, const char* sql) {
    into = db_->Prepare(sql, error);
    return into.has_value();
  };
  return prepare(device_,
                 "INSERT INTO devices(name, address, port, model, unit, product_code) "
                 "VALUES(?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(name) DO UPDATE SET "
                 "address = excluded.address, port = excluded.port, model = excluded.model, "
                 "unit = excluded.unit, product_code = excluded.product_code") &&
         prepare(forget_, "DELETE FROM counters WHERE device = ?1") &&
         prepare(counter_,
                 "INSERT INTO counters(device, input, raw, total, time_ms) VALUES(?1, ?2, ?3, ?4, ?5) "
                 "ON CONFLICT(device, input) DO UPDATE SET raw = excluded.raw, "
                 "total = excluded.total, time_ms = excluded.time_ms") &&
         prepare(minute_,
                 "INSERT INTO minutes(device, input, minute, pulses) VALUES(?1, ?2, ?3, ?4) "
                 "ON CONFLICT(minute, device, input) DO UPDATE SET pulses = pulses + excluded.pulses") &&
         prepare(hour_,
                 "INSERT INTO hours(device, input, hour, pulses) VALUES(?1, ?2, ?3, ?4) "
                 "ON CONFLICT(hour, device, input) DO UPDATE SET pulses = pulses + excluded.pulses") &&
         prepare(outboxAdd_, "INSERT OR REPLACE INTO outbox(seq, topic, payload) VALUES(?1, ?2, ?3)") &&
         prepare(outboxRemove_, "DELETE FROM outbox WHERE seq = ?1");
}

bool StoreWriter::Write(const StoreBatch& batch) {
  for (const auto& [name, id] : batch.identities) {
    device_->Bind(1, name).Bind(2, id.device.address).Bind(3, std::int64_t{id.device.port});
    device_->Bind(4, id.model).Bind(5, std::int64_t{id.unit}).Bind(6, id.productCode);
    if (!device_->Run()) return false;
  }
  // Counters of a device that became another go before the new ones come.
  for (const std::string& name : batch.discarded)
    if (!forget_->Bind(1, name).Run()) return false;
  for (const auto& [key, row] : batch.counters) {
    counter_->Bind(1, key.first).Bind(2, std::int64_t{key.second}).Bind(3, std::int64_t{row.raw});
    counter_->Bind(4, static_cast<std::int64_t>(row.total)).Bind(5, row.timeMs);
    if (!counter_->Run()) return false;
  }
  const auto periods = [](Statement& statement, const std::map<PeriodKey, std::uint64_t>& rows) {
    for (const auto& [key, pulses] : rows) {
      statement.Bind(1, key.device).Bind(2, std::int64_t{key.input}).Bind(3, key.start);
      if (!statement.Bind(4, static_cast<std::int64_t>(pulses)).Run()) return false;
    }
    return true;
  };
  if (!periods(*minute_, batch.minutes) || !periods(*hour_, batch.hours)) return false;
  for (const auto& [seq, message] : batch.outboxAdded) {
    outboxAdd_->Bind(1, static_cast<std::int64_t>(seq)).Bind(2, message.topic).Bind(3, message.payload);
    if (!outboxAdd_->Run()) return false;
  }
  for (std::uint64_t seq : batch.outboxRemoved)
    if (!outboxRemove_->Bind(1, static_cast<std::int64_t>(seq)).Run()) return false;
  return true;
}

bool StoreWriter::Commit(const StoreBatch& batch, std::string& error) {
  if (!db_->Exec("BEGIN IMMEDIATE", error)) return false;
  if (Write(batch) && db_->Exec("COMMIT", error)) return true;
  if (error.empty()) error = db_->LastError();
  std::string ignored;
  db_->Exec("ROLLBACK", ignored);
  return false;
}

bool StoreWriter::Prune(std::chrono::hours keepMinutes, std::chrono::hours keepHours, WallClock::time_point now,
                        std::string& error) {
  using std::chrono::duration_cast;
  using std::chrono::seconds;
  const auto cutoff = [&](std::chrono::hours keep) {
    return std::to_string(duration_cast<seconds>((now - keep).time_since_epoch()).count());
  };
  if (db_->Exec("BEGIN IMMEDIATE; DELETE FROM minutes WHERE minute < " + cutoff(keepMinutes) +
                    "; DELETE FROM hours WHERE hour < " + cutoff(keepHours) + "; COMMIT",
                error))
    return true;
  std::string ignored;
  db_->Exec("ROLLBACK", ignored);
  return false;
}

}  // namespace kestrel::collector::store
