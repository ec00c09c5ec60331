#pragma once
#include <QObject>
#include <QTimer>
#include <map>

#include "framework/backend/Backend.h"

namespace fw::qt {

// Window timers as Qt timers owned by the window. Qt delivers a tick that
// fell due while the thread was busy once and schedules the next one from
// then on, so ticks never pile up.
class QtWindowTimers : public backend::WindowTimers {
 public:
  QtWindowTimers(QObject* window, backend::DialogEvents& events) : window_(window), events_(events) {}
  bool Set(std::uintptr_t id, std::uint32_t periodMs) override;
  bool Kill(std::uintptr_t id) override;

 private:
  QObject* window_;
  backend::DialogEvents& events_;
  std::map<std::uintptr_t, QTimer*> timers_;  // owned by the window
};

}  // namespace fw::qt
