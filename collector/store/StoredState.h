#pragma once
// Reading back, at start, what the store kept: where each device's counts
// stood, and the messages the broker had not acknowledged.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "collector/ResumePoint.h"
#include "collector/store/Sqlite.h"
#include "collector/store/StoreBatch.h"
#include "collector/store/StoreWriter.h"

namespace kestrel::collector::store {

// By device name. False and why when the store cannot be read.
bool LoadResumePoints(Connection& db, std::map<std::string, ResumePoint>& points, std::string& error);

struct StoredMessage {
  std::uint64_t seq = 0;
  OutboxMessage message;
};
// Oldest first.
bool LoadOutbox(Connection& db, std::vector<StoredMessage>& messages, std::string& error);

// The store at start: opened for writing (created or upgraded), with what it
// kept read back. nullopt and why (without the path) when it cannot be used.
struct OpenedStore {
  std::unique_ptr<StoreWriter> writer;
  std::map<std::string, ResumePoint> resumePoints;
  std::vector<StoredMessage> outbox;
};
std::optional<OpenedStore> OpenStore(const std::string& path, std::string& error);

}  // namespace kestrel::collector::store
