#pragma once
// The event loop's one timer structure: a binary min-heap of deadlines in
// which every waiter has at most one entry (its index is kept in the waiter),
// so re-arming, moving or cancelling a waiter's deadline is O(log n) and no
// stale entries pile up, whatever the number of exchanges. The heap keeps
// each deadline beside its entry, so that comparing two does not reach into
// two devices' memory: at a fleet's size those reads are what costs.
#include <chrono>
#include <cstddef>
#include <vector>

namespace kestrel::collector {

using LoopClock = std::chrono::steady_clock;

struct TimerEntry {
  LoopClock::time_point when = LoopClock::time_point::max();
  std::size_t heapIndex = kNotQueued;
  void* owner = nullptr;  // whose deadline it is
  static constexpr std::size_t kNotQueued = static_cast<std::size_t>(-1);
};

class TimerHeap {
 public:
  // Queues `entry` at `when`, or moves it there when already queued.
  void Set(TimerEntry& entry, LoopClock::time_point when);
  void Cancel(TimerEntry& entry);
  // The earliest entry, nullptr when empty.
  TimerEntry* Top() const { return heap_.empty() ? nullptr : heap_.front().entry; }
  std::size_t size() const { return heap_.size(); }

 private:
  struct Slot {
    LoopClock::time_point when;
    TimerEntry* entry;
  };
  void Place(std::size_t index, const Slot& slot);
  void SiftUp(std::size_t index);
  void SiftDown(std::size_t index);

  std::vector<Slot> heap_;
};

}  // namespace kestrel::collector
