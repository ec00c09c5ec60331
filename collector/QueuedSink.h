#pragma once
// An output that takes its time (a file, standard output) behind a queue of
// its own and a thread that writes it, so that a stalled disk or a pipe
// nobody reads never holds up a poll: the record calls only enqueue. The
// queue is bounded; when it is full the oldest record goes, counted as
// dropped in the output's health. A reopen (SIGHUP) waits its turn in the
// queue, so it happens between the records it came between.
//
// The writer takes records in batches: once woken it lets more come for
// kOutputGatherTime, hands over all there are and then calls the output's
// Flush. A fleet's samples thus cost one wake-up and one write per batch
// instead of one per record, at the price of that much delay.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "collector/OutputHealth.h"
#include "collector/Record.h"
#include "collector/RecordSink.h"

namespace kestrel::collector {

inline constexpr std::size_t kOutputQueueRecords = 65536;
// How long Stop lets the writer drain the queue before it gives up.
inline constexpr std::chrono::milliseconds kOutputDrainTime{2000};
inline constexpr std::chrono::milliseconds kOutputGatherTime{5};

struct QueueLimits {
  std::size_t records = kOutputQueueRecords;
  std::chrono::milliseconds drain = kOutputDrainTime;
};

class QueuedSink final : public RecordSink {
 public:
  // Starts the writer thread. `abandon` is called when Stop gives up: it
  // must make a write `output` may be stuck in return soon (LineOutput's
  // Abandon); without it Stop waits for that write.
  QueuedSink(std::string name, RecordSink& output, OutputHealth& health,
             std::function<void()> abandon = {}, QueueLimits limits = {});
  ~QueuedSink() override;  // Stop()
  QueuedSink(const QueuedSink&) = delete;
  QueuedSink& operator=(const QueuedSink&) = delete;

  void OnSample(const Sample& sample) override { Enqueue(sample); }
  void OnEvent(const Event& event) override { Enqueue(event); }
  void OnStatus(const StatusChange& change) override { Enqueue(change); }
  void Reopen() override { Enqueue(std::nullopt); }

  // Lets the writer drain the queue for at most `drain`, then counts what is
  // left as dropped and ends the thread. Records that come later are dropped.
  void Stop();

 private:
  using Item = std::optional<Record>;  // nullopt: reopen
  void Enqueue(Item item);
  bool ClaimTaken();
  void Run();

  const std::string name_;
  RecordSink& output_;
  OutputHealth& health_;
  const std::function<void()> abandon_;
  const QueueLimits limits_;

  std::mutex mutex_;
  std::condition_variable wake_;      // the writer: something to do
  std::condition_variable finished_;  // Stop: the writer has ended
  std::deque<Item> items_;
  std::size_t records_ = 0;  // the items that are records
  // Records the writer has taken from items_ but not yet handed over. Each
  // is claimed once, by the writer to hand it over (ClaimTaken) or by Stop
  // to count it as dropped, so none is both or neither.
  std::atomic<std::size_t> taken_{0};
  bool writerIdle_ = false;  // the writer waits for work and needs a wake-up
  bool stopping_ = false;    // drain, then end
  bool abandoned_ = false;   // end now; no more records taken
  bool ended_ = false;       // the writer has left its loop
  std::thread thread_;  // last: started once everything above is set
};

}  // namespace kestrel::collector
