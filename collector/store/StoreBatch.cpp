#include "collector/store/StoreBatch.h"

#include <chrono>

namespace kestrel::collector::store {

namespace {

constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kHour = 3600;

std::int64_t FloorTo(std::int64_t seconds, std::int64_t unit) {
  const std::int64_t floor = seconds / unit * unit;
  return floor > seconds ? floor - unit : floor;  // before 1970, division rounds up
}

template <typename Key>
std::uint64_t ShedOldest(std::map<Key, std::uint64_t>& rows, std::size_t limit) {
  std::uint64_t shed = 0;
  while (rows.size() > limit) {
    rows.erase(rows.begin());
    ++shed;
  }
  return shed;
}

}  // namespace

void StoreBatch::AddSample(const Sample& sample) {
  using namespace std::chrono;
  const std::int64_t ms = duration_cast<milliseconds>(sample.time.time_since_epoch()).count();
  const std::int64_t seconds = FloorTo(ms, 1000) / 1000;
  for (int k = 0; k < kMaxInputs; ++k) {
    const InputValue& v = sample.inputs[static_cast<std::size_t>(k)];
    if (!v.present) continue;
    const int input = k + 1;
    counters[{sample.device.name, input}] = CounterRow{v.raw, v.total, ms};
    // Rows with no pulses are kept too: they tell a quiet input from one
    // that was not read.
    minutes[PeriodKey{FloorTo(seconds, kMinute), sample.device.name, input}] += v.increase;
    hours[PeriodKey{FloorTo(seconds, kHour), sample.device.name, input}] += v.increase;
  }
}

void StoreBatch::AddIdentity(const DeviceIdentity& identity) {
  identities[identity.device.name] = identity;
}

void StoreBatch::DiscardCounters(const std::string& device) {
  discarded.insert(device);
  for (auto it = counters.begin(); it != counters.end();)
    it = it->first.first == device ? counters.erase(it) : std::next(it);
}

void StoreBatch::OutboxAdd(std::uint64_t seq, OutboxMessage message) {
  outboxAdded[seq] = std::move(message);
}

void StoreBatch::OutboxRemove(std::uint64_t seq) {
  if (outboxAdded.erase(seq) == 0) outboxRemoved.insert(seq);
}

void StoreBatch::Merge(StoreBatch&& newer) {
  for (auto& [name, identity] : newer.identities) identities[name] = std::move(identity);
  for (const std::string& device : newer.discarded) DiscardCounters(device);
  for (auto& [key, row] : newer.counters) counters[key] = row;
  for (auto& [key, pulses] : newer.minutes) minutes[key] += pulses;
  for (auto& [key, pulses] : newer.hours) hours[key] += pulses;
  for (auto& [seq, message] : newer.outboxAdded) OutboxAdd(seq, std::move(message));
  for (std::uint64_t seq : newer.outboxRemoved) OutboxRemove(seq);
}

std::uint64_t StoreBatch::Shed(std::size_t limit) {
  return ShedOldest(minutes, limit) + ShedOldest(hours, limit);
}

bool StoreBatch::empty() const {
  return identities.empty() && discarded.empty() && counters.empty() && minutes.empty() &&
         hours.empty() && outboxAdded.empty() && outboxRemoved.empty();
}

}  // namespace kestrel::collector::store
