#include "collector/QueuedSink.h"

#include <algorithm>
#include <utility>

namespace kestrel::collector {

namespace {

// An idle writer looks again this often, so that no wait is unbounded.
constexpr std::chrono::seconds kIdleWake{1};

}  // namespace

QueuedSink::QueuedSink(std::string name, RecordSink& output, OutputHealth& health,
                       std::function<void()> abandon, QueueLimits limits)
    : name_(std::move(name)), output_(output), health_(health), abandon_(std::move(abandon)),
      limits_(limits) {
  health_.Dropped(name_, 0);  // known from the start, with zero counts
  thread_ = std::thread([this] { Run(); });
}

QueuedSink::~QueuedSink() { Stop(); }

void QueuedSink::Enqueue(Item item) {
  bool dropped = false;
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    if (abandoned_) {
      dropped = item.has_value();
    } else {
      if (item) ++records_;
      items_.push_back(std::move(item));
      if (records_ > limits_.records) {
        // The oldest record goes; a reopen between the records stays.
        items_.erase(std::find_if(items_.begin(), items_.end(), [](const Item& i) { return i.has_value(); }));
        --records_;
        dropped = true;
      }
    }
    // A writer that is gathering or writing comes back for this by itself.
    wake = std::exchange(writerIdle_, false);
  }
  // Outside the lock: the report may come back here as an event.
  if (dropped) health_.Dropped(name_, 1);
  if (wake) wake_.notify_one();
}

bool QueuedSink::ClaimTaken() {
  std::size_t n = taken_.load();
  while (n > 0 && !taken_.compare_exchange_weak(n, n - 1)) {
  }
  return n > 0;
}

void QueuedSink::Run() {
  std::deque<Item> batch;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      while (items_.empty() && !stopping_) {
        writerIdle_ = true;
        wake_.wait_for(lock, kIdleWake);
      }
      writerIdle_ = false;
      if (!stopping_) wake_.wait_for(lock, kOutputGatherTime, [this] { return stopping_; });
      if (abandoned_ || items_.empty()) break;
      batch.swap(items_);
      taken_ = records_;
      records_ = 0;
    }
    for (const Item& item : batch) {
      if (!item) output_.Reopen();
      else if (ClaimTaken()) Deliver(*item, output_);
      else break;  // Stop gave up and counted the rest
    }
    batch.clear();
    output_.Flush();
  }
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
  finished_.notify_all();
}

void QueuedSink::Stop() {
  if (!thread_.joinable()) return;
  std::uint64_t left = 0;
  bool gaveUp = false;
  {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
    finished_.wait_for(lock, limits_.drain, [this] { return ended_; });
    gaveUp = !ended_;
    abandoned_ = true;
    left = records_ + taken_.exchange(0);
    items_.clear();
    records_ = 0;
  }
  wake_.notify_all();
  if (gaveUp && abandon_) abandon_();
  thread_.join();
  if (left > 0) health_.Dropped(name_, left);
}

}  // namespace kestrel::collector
