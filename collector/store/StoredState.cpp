#include "collector/store/StoredState.h"

#include <algorithm>
#include <chrono>

#include "collector/store/Schema.h"

namespace kestrel::collector::store {

bool LoadResumePoints(Connection& db, std::map<std::string, ResumePoint>& points, std::string& error) {
  std::optional<Statement> query = db.Prepare(
      "SELECT d.name, d.model, d.unit, d.product_code, c.input, c.raw, c.total, c.time_ms "
      "FROM devices d JOIN counters c ON c.device = d.name", error);
  if (!query) return false;
  bool ok = true;
  while (query->Step(ok)) {
    const std::int64_t input = query->Int(4);
    if (input < 1 || input > kMaxInputs) continue;  // not a row this collector wrote
    ResumePoint& point = points[query->Text(0)];
    point.model = query->Text(1);
    point.unit = static_cast<std::int32_t>(query->Int(2));
    point.productCode = query->Text(3);
    ResumeInput& in = point.inputs[static_cast<std::size_t>(input - 1)];
    in.present = true;
    in.raw = static_cast<std::uint32_t>(query->Int(5));
    in.total = static_cast<std::uint64_t>(query->Int(6));
    in.time = WallClock::time_point(std::chrono::milliseconds(query->Int(7)));
    point.time = std::max(point.time, in.time);
  }
  if (!ok) error = db.LastError();
  return ok;
}

bool LoadOutbox(Connection& db, std::vector<StoredMessage>& messages, std::string& error) {
  std::optional<Statement> query = db.Prepare("SELECT seq, topic, payload FROM outbox ORDER BY seq", error);
  if (!query) return false;
  bool ok = true;
  while (query->Step(ok))
    messages.push_back(StoredMessage{static_cast<std::uint64_t>(query->Int(0)),
                                     OutboxMessage{query->Text(1), query->Text(2)}});
  if (!ok) error = db.LastError();
  return ok;
}

std::optional<OpenedStore> OpenStore(const std::string& path, std::string& error) {
  std::unique_ptr<Connection> db = OpenStoreForWriting(path, error);
  if (!db) return std::nullopt;
  OpenedStore opened;
  if (!LoadResumePoints(*db, opened.resumePoints, error) || !LoadOutbox(*db, opened.outbox, error))
    return std::nullopt;
  opened.writer = StoreWriter::Create(std::move(db), error);
  if (!opened.writer) return std::nullopt;
  return opened;
}

}  // namespace kestrel::collector::store
