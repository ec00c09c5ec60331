#pragma once
// One epoll loop that serves every simulated device of the process: each
// device registers its sockets and its reply timers here, so that a fleet of
// thousands costs one thread and no descriptor beyond the devices' own
// sockets and connections.
#include <cstdint>
#include <queue>
#include <string>
#include <vector>

#include "sim/SimDevice.h"
#include "sim/SimSockets.h"

namespace kestrel::sim {

// What the loop calls back: events on a registered descriptor and timers
// that fell due, each with the token the target registered them under.
class EventTarget {
 public:
  virtual void OnEvent(std::uint64_t token, std::uint32_t events) = 0;
  virtual void OnTimer(std::uint64_t token) = 0;

 protected:
  ~EventTarget() = default;
};

class EventLoop {
 public:
  EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Empty when the loop's own descriptors opened, else what failed.
  const std::string& error() const { return error_; }

  // Level-triggered interest in `events` (EPOLLIN, EPOLLOUT) of `fd`.
  void Watch(int fd, std::uint32_t events, EventTarget& target, std::uint64_t token);
  void Change(int fd, std::uint32_t events);
  // Before the descriptor is closed: no event reaches its target afterwards.
  void Forget(int fd);
  // Calls target.OnTimer(token) once `when` has come. A timer cannot be
  // cancelled: the target checks whether the token still means anything.
  void At(SimClock::time_point when, EventTarget& target, std::uint64_t token);

  // Serves until RequestStop() is called or `wakeFd` (for example a signalfd)
  // becomes readable.
  void Run(int wakeFd = -1);
  // Safe from any thread and from a signal handler.
  void RequestStop();

 private:
  struct Registration {
    EventTarget* target = nullptr;
    std::uint64_t token = 0;
  };
  struct Timer {
    SimClock::time_point when;
    EventTarget* target;
    std::uint64_t token;
    bool operator>(const Timer& other) const { return when > other.when; }
  };
  int TimeoutMs(SimClock::time_point now) const;
  void RunDueTimers();

  std::string error_;
  UniqueFd epoll_;
  UniqueFd stop_;  // an eventfd
  std::vector<Registration> byFd_;
  std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers_;
};

}  // namespace kestrel::sim
