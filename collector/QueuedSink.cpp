#include "collector/QueuedSink.h"

#include <algorithm>

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
  }
  // Outside the lock: the report may come back here as an event.
  if (dropped) health_.Dropped(name_, 1);
  wake_.notify_one();
}

void QueuedSink::Run() {
  for (;;) {
    Item item;
    {
      std::unique_lock lock(mutex_);
      while (items_.empty() && !stopping_) wake_.wait_for(lock, kIdleWake);
      if (abandoned_ || items_.empty()) break;
      item = std::move(items_.front());
      items_.pop_front();
      if (item) --records_;
    }
    if (item) Deliver(*item, output_);
    else output_.Reopen();
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
    left = records_;
    items_.clear();
    records_ = 0;
  }
  wake_.notify_all();
  if (gaveUp && abandon_) abandon_();
  thread_.join();
  if (left > 0) health_.Dropped(name_, left);
}

}  // namespace kestrel::collector
