#include "framework/qt/QtTimers.h"

namespace fw::qt {

bool QtWindowTimers::Set(std::uintptr_t id, std::uint32_t periodMs) {
  QTimer*& timer = timers_[id];
  if (!timer) {
    timer = new QTimer(window_);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, window_, [this, id] { events_.OnTimerTick(id); });
  }
  timer->start(static_cast<int>(periodMs));
  return true;
}

bool QtWindowTimers::Kill(std::uintptr_t id) {
  const auto found = timers_.find(id);
  if (found == timers_.end()) return false;
  // The handler of this very timer may be the one killing it.
  found->second->stop();
  found->second->deleteLater();
  timers_.erase(found);
  return true;
}

}  // namespace fw::qt
