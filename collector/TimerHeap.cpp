#include "collector/TimerHeap.h"

namespace kestrel::collector {

void TimerHeap::Place(std::size_t index, const Slot& slot) {
  heap_[index] = slot;
  slot.entry->heapIndex = index;
}

void TimerHeap::SiftUp(std::size_t index) {
  const Slot moving = heap_[index];
  while (index > 0) {
    const std::size_t parent = (index - 1) / 2;
    if (!(moving.when < heap_[parent].when)) break;
    Place(index, heap_[parent]);
    index = parent;
  }
  Place(index, moving);
}

void TimerHeap::SiftDown(std::size_t index) {
  const Slot moving = heap_[index];
  for (;;) {
    std::size_t child = 2 * index + 1;
    if (child >= heap_.size()) break;
    if (child + 1 < heap_.size() && heap_[child + 1].when < heap_[child].when) ++child;
    if (!(heap_[child].when < moving.when)) break;
    Place(index, heap_[child]);
    index = child;
  }
  Place(index, moving);
}

void TimerHeap::Set(TimerEntry& entry, LoopClock::time_point when) {
  entry.when = when;
  if (entry.heapIndex == TimerEntry::kNotQueued) {
    heap_.push_back({when, &entry});
    entry.heapIndex = heap_.size() - 1;
  } else {
    heap_[entry.heapIndex].when = when;
  }
  SiftUp(entry.heapIndex);
  SiftDown(entry.heapIndex);
}

void TimerHeap::Cancel(TimerEntry& entry) {
  const std::size_t index = entry.heapIndex;
  if (index == TimerEntry::kNotQueued) return;
  entry.heapIndex = TimerEntry::kNotQueued;
  const Slot last = heap_.back();
  heap_.pop_back();
  if (last.entry == &entry) return;
  Place(index, last);
  SiftUp(index);
  SiftDown(last.entry->heapIndex);
}

}  // namespace kestrel::collector
