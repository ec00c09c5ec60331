#pragma once
// The store as an output that stands in front of the others: every record
// is gathered into the next batch, the batch is committed by the store's own
// thread at most a commit interval later, and only then are its records
// handed on to the other outputs. So after a crash no output has seen a
// sample the store does not have, and a restart never counts one twice.
//
// When a commit fails (disk full, I/O error, a read-only file) it is
// reported and tried again with the next batch; the records still go on to
// the other outputs, and what the store has yet to write waits in memory,
// merged, within a bound (the oldest minute and hour rows go first, counted).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "collector/Record.h"
#include "collector/RecordSink.h"
#include "collector/mqtt/MessageOutbox.h"
#include "collector/store/StoreBatch.h"
#include "collector/store/StoreWriter.h"

namespace kestrel::collector::store {

struct StoreSettings {
  std::chrono::milliseconds commitInterval{1000};
  std::chrono::hours keepMinutes{35 * 24};
  std::chrono::hours keepHours{3650 * 24};
  // Minute (and hour) rows waiting while the store cannot be written.
  std::size_t pendingRowLimit = 1'000'000;
  // Records waiting to be handed on, should the store's thread fall behind.
  std::size_t recordLimit = 65536;
};

// How the store tells of trouble; the collector's output health counts and
// reports it.
struct StoreReports {
  std::function<void(const std::string& reason)> failed;
  std::function<void()> resumed;
  std::function<void(std::uint64_t count)> dropped;
};

class StoreSink final : public RecordSink, public MessageOutbox {
 public:
  StoreSink(std::unique_ptr<StoreWriter> writer, StoreSettings settings, RecordSink& next,
            StoreReports reports);
  ~StoreSink() override;  // Stop()
  StoreSink(const StoreSink&) = delete;
  StoreSink& operator=(const StoreSink&) = delete;

  void Start();
  // Commits what is gathered, hands on the last records and ends the thread.
  void Stop();
  // After Stop: writes what was gathered since (the outbox's last changes).
  void CommitRemaining();

  void OnSample(const Sample& sample) override;
  void OnEvent(const Event& event) override;
  void OnStatus(const StatusChange& change) override;
  void Reopen() override { next_.Reopen(); }

  // The broker's outbox, kept in the same file and committed with the
  // batches, so messages the broker has not acknowledged survive a restart.
  void Added(std::uint64_t seq, const std::string& topic, const std::string& payload) override;
  void Removed(std::uint64_t seq) override;

 private:
  void Enqueue(Record record);
  static void Gather(StoreBatch& batch, const Record& record);
  void Run();
  // Commits `unsaved_` (with the newly gathered batch merged in).
  void CommitRound(StoreBatch gathered);

  const StoreSettings settings_;
  RecordSink& next_;
  const StoreReports reports_;
  std::unique_ptr<StoreWriter> writer_;  // the store's thread only, or after Stop
  StoreBatch unsaved_;                   // likewise
  bool failing_ = false;                 // likewise
  WallClock::time_point lastPrune_{};    // likewise

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  StoreBatch gathered_;
  std::deque<Record> records_;
  std::thread thread_;
};

}  // namespace kestrel::collector::store
