#pragma once
// What the store has yet to commit, gathered in memory between two commits:
// the latest counter state of every input, the pulses per minute and hour
// added since, identities, and the broker outbox's changes. Later batches
// merge into one that could not be written, so a failing disk costs memory
// in proportion to the minutes it lasts, not to the samples read.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "collector/Records.h"

namespace kestrel::collector::store {

// A minute's or an hour's row: ordered by time first, so the oldest go first
// when the batch has to shed rows.
struct PeriodKey {
  std::int64_t start = 0;  // seconds since 1970 (UTC)
  std::string device;
  int input = 0;  // 1 = DI1
  friend bool operator<(const PeriodKey& a, const PeriodKey& b) {
    return std::tie(a.start, a.device, a.input) < std::tie(b.start, b.device, b.input);
  }
};

struct CounterRow {
  std::uint32_t raw = 0;
  std::uint64_t total = 0;
  std::int64_t timeMs = 0;
};

struct OutboxMessage {
  std::string topic;
  std::string payload;
};

struct StoreBatch {
  std::map<std::string, DeviceIdentity> identities;            // by device name
  std::set<std::string> discarded;                             // devices whose stored counters go
  std::map<std::pair<std::string, int>, CounterRow> counters;  // (device, input)
  std::map<PeriodKey, std::uint64_t> minutes;                  // pulses
  std::map<PeriodKey, std::uint64_t> hours;
  std::map<std::uint64_t, OutboxMessage> outboxAdded;          // by sequence number
  std::set<std::uint64_t> outboxRemoved;

  void AddSample(const Sample& sample);
  void AddIdentity(const DeviceIdentity& identity);
  void DiscardCounters(const std::string& device);
  void OutboxAdd(std::uint64_t seq, OutboxMessage message);
  // A message that leaves the outbox before it was ever written is simply
  // forgotten.
  void OutboxRemove(std::uint64_t seq);

  // Takes in `newer`, gathered after this batch.
  void Merge(StoreBatch&& newer);
  // Sheds the oldest minute and hour rows beyond `limit` rows each; returns
  // how many rows went.
  std::uint64_t Shed(std::size_t limit);
  bool empty() const;
};

}  // namespace kestrel::collector::store
