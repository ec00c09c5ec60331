#pragma once
// An epoll loop on a thread of its own that runs many devices' steps: each
// device is a coroutine that suspends on its Waiter until its socket is
// ready, its deadline passes or it is stopped. Sockets are registered
// edge-triggered once; the readiness they reported is kept in the waiter as
// a hint that the socket calls confirm (a would-block answer clears it).
#include <sys/epoll.h>

#include <array>
#include <coroutine>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "collector/TimerHeap.h"
#include "common/Task.h"

namespace kestrel::collector {

enum class WaitResult { Ready, TimedOut, Stopped };
enum class Interest { None, Read, Write };

// One device's place in a loop: used on the loop's thread only.
struct Waiter {
  std::coroutine_handle<> handle;  // the suspended steps, if any
  Interest interest = Interest::None;
  bool readable = false;  // reported since the last would-block receive
  bool writable = false;
  // The socket reported a hang-up or an error: it stays readable, since the
  // edge-triggered set tells that only once (a receive then says which).
  bool hungUp = false;
  bool stopped = false;   // every later wait ends at once
  WaitResult result = WaitResult::Ready;
  TimerEntry timer;
  std::uint64_t id = 0;  // the device's, set by Adopt
  // Its steps have ended and the device is to go: set by the steps' last
  // act, so that the loop, which asks after every resumption, reads memory
  // it has just touched rather than the steps' frame.
  bool ended = false;
};

class EventLoop {
 public:
  EventLoop();  // throws std::system_error when the loop or its thread cannot be made
  ~EventLoop();  // ends the thread; every device must have finished
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // From any thread. Runs `steps` for the device `id` with `waiter`; calls
  // `finished` on the loop's thread once they have ended.
  void Adopt(std::uint64_t id, Waiter& waiter, std::function<Task<>()> steps,
             std::function<void()> finished);
  // From any thread: the device's waits end with Stopped, now and later.
  void Stop(std::uint64_t id);

  // On the loop's thread, for the steps:
  // Registers a new socket for the waiter; 0 or an errno value.
  int Watch(int fd, Waiter& waiter);
  // Waits for `interest` on the waiter's socket (or nothing: a pause) until
  // `deadline`. Ready at once when the kept readiness says so.
  auto Wait(Waiter& waiter, Interest interest, LoopClock::time_point deadline) {
    struct Awaiter {
      EventLoop& loop;
      Waiter& waiter;
      Interest interest;
      LoopClock::time_point deadline;
      bool await_ready() {
        if (waiter.stopped) return Settle(WaitResult::Stopped);
        if ((interest == Interest::Read && waiter.readable) ||
            (interest == Interest::Write && waiter.writable))
          return Settle(WaitResult::Ready);
        return false;
      }
      void await_suspend(std::coroutine_handle<> handle) {
        waiter.handle = handle;
        waiter.interest = interest;
        loop.timers_.Set(waiter.timer, deadline);
      }
      WaitResult await_resume() const { return waiter.result; }
      bool Settle(WaitResult r) {
        waiter.result = r;
        return true;
      }
    };
    return Awaiter{*this, waiter, interest, deadline};
  }

 private:
  struct Device {
    Waiter* waiter;
    Task<> task;
    std::function<void()> finished;
  };

  void Run();
  void Post(std::function<void()> job);
  bool RunPosted();  // false once the loop is to end
  void* WakeTag() { return &events_; }  // the eventfd's mark in the epoll set
  void Resume(Waiter& waiter, WaitResult result);
  void EndIfDone(Waiter& waiter);
  void ExpireTimers();
  void Wake();

  const int epoll_;
  const int wake_;  // an eventfd: posted jobs or the end
  TimerHeap timers_;
  std::map<std::uint64_t, Device> devices_;
  std::array<epoll_event, 256> events_{};
  int eventCount_ = 0;
  int eventIndex_ = 0;

  std::mutex mutex_;  // guards posted_ and quit_
  std::vector<std::function<void()>> posted_;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace kestrel::collector
