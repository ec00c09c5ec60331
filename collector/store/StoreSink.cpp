#include "collector/store/StoreSink.h"

#include <sys/resource.h>
#include <unistd.h>

namespace kestrel::collector::store {

namespace {

// Rows past their keeping time are removed at start and then this often.
constexpr std::chrono::hours kPruneEvery{1};
// The store's thread gives way to the pollers: a commit may wait, a poll
// should not. A niceness like that of a background job.
constexpr int kStoreThreadNice = 10;

}  // namespace

StoreSink::StoreSink(std::unique_ptr<StoreWriter> writer, StoreSettings settings, RecordSink& next,
                     StoreReports reports)
    : settings_(settings), next_(next), reports_(std::move(reports)), writer_(std::move(writer)) {}

StoreSink::~StoreSink() { Stop(); }

void StoreSink::Start() { thread_ = std::thread([this] { Run(); }); }

void StoreSink::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void StoreSink::CommitRemaining() {
  StoreBatch gathered;
  {
    std::lock_guard lock(mutex_);
    std::swap(gathered, gathered_);
  }
  CommitRound(std::move(gathered));
}

void StoreSink::Gather(StoreBatch& batch, const Record& record) {
  if (const Sample* sample = std::get_if<Sample>(&record)) {
    batch.AddSample(*sample);
  } else if (const Event* event = std::get_if<Event>(&record)) {
    if (event->kind == EventKind::StateDiscarded) batch.DiscardCounters(event->device.name);
    if (event->identity) batch.AddIdentity(*event->identity);
  }
}

void StoreSink::Enqueue(Record record) {
  bool dropped = false;
  {
    // The pollers only queue here: the lock is held for a moment, never for
    // the batch's bookkeeping, so a poller is not held up by another.
    std::lock_guard lock(mutex_);
    records_.push_back(std::move(record));
    if (records_.size() > settings_.recordLimit) {
      // The store's thread is far behind: the store still keeps the oldest
      // record's counts; only the other outputs miss it.
      Gather(gathered_, records_.front());
      records_.pop_front();
      dropped = true;
    }
  }
  // Outside the lock: the report comes back here as an event.
  if (dropped && reports_.dropped) reports_.dropped(1);
}

void StoreSink::OnSample(const Sample& sample) { Enqueue(sample); }
void StoreSink::OnEvent(const Event& event) { Enqueue(event); }
void StoreSink::OnStatus(const StatusChange& change) { Enqueue(change); }

void StoreSink::Added(std::uint64_t seq, const std::string& topic, const std::string& payload) {
  std::lock_guard lock(mutex_);
  gathered_.OutboxAdd(seq, OutboxMessage{topic, payload});
}

void StoreSink::Removed(std::uint64_t seq) {
  std::lock_guard lock(mutex_);
  gathered_.OutboxRemove(seq);
}

void StoreSink::CommitRound(StoreBatch gathered) {
  unsaved_.Merge(std::move(gathered));
  const WallClock::time_point now = WallClock::now();
  std::string error;
  if (!unsaved_.empty()) {
    if (writer_->Commit(unsaved_, error)) {
      unsaved_ = StoreBatch{};
      if (failing_ && reports_.resumed) reports_.resumed();
      failing_ = false;
    } else {
      failing_ = true;
      if (reports_.failed) reports_.failed(error);
      const std::uint64_t shed = unsaved_.Shed(settings_.pendingRowLimit);
      if (shed > 0 && reports_.dropped) reports_.dropped(shed);
    }
  }
  if (!failing_ && now - lastPrune_ >= kPruneEvery) {
    if (writer_->Prune(settings_.keepMinutes, settings_.keepHours, now, error)) lastPrune_ = now;
    else if (reports_.failed) reports_.failed(error);
  }
}

void StoreSink::Run() {
  // Linux gives each thread its own niceness; failing to lower it only
  // leaves the thread as it was.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kStoreThreadNice);
  for (;;) {
    StoreBatch gathered;
    std::deque<Record> records;
    bool stopping = false;
    {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, settings_.commitInterval, [this] { return stop_; });
      stopping = stop_;
      std::swap(gathered, gathered_);
      std::swap(records, records_);
    }
    // Records still queued are newer than any gathered under the lock.
    for (const Record& record : records) Gather(gathered, record);
    CommitRound(std::move(gathered));
    for (const Record& record : records) Deliver(record, next_);
    if (stopping) return;
  }
}

}  // namespace kestrel::collector::store
