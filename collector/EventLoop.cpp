#include "collector/EventLoop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>

namespace kestrel::collector {

namespace {

// The device's steps, then the mark that they have ended. What they throw
// ends them as their return would (nobody takes their result).
Task<> StepsThenMark(Task<> steps, Waiter& waiter) {
  try {
    co_await steps;
  } catch (...) {
  }
  waiter.ended = true;
}

int Checked(int fd, const char* what) {
  if (fd < 0) throw std::system_error(errno, std::generic_category(), what);
  return fd;
}

// epoll_pwait2 waits to the microsecond, which the 1 ms quiet wait needs;
// where the kernel lacks it, epoll_wait rounds up to whole milliseconds.
int WaitForEvents(int epoll, epoll_event* events, int capacity,
                  const TimerEntry* next, bool& precise) {
  if (next == nullptr) return epoll_wait(epoll, events, capacity, -1);
  const auto left = std::max(next->when - LoopClock::now(), LoopClock::duration::zero());
  if (precise) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    const int n = epoll_pwait2(epoll, events, capacity, &timeout, nullptr);
    if (n >= 0 || errno != ENOSYS) return n;
    precise = false;
  }
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return epoll_wait(epoll, events, capacity, static_cast<int>(std::min<std::int64_t>(ms, 60000)));
}

}  // namespace

EventLoop::EventLoop()
    : epoll_(Checked(epoll_create1(EPOLL_CLOEXEC), "epoll_create1")),
      wake_(Checked(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK), "eventfd")) {
  epoll_event e{};
  e.events = EPOLLIN;
  e.data.ptr = WakeTag();
  if (epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &e) != 0) {
    const int error = errno;
    close(wake_);
    close(epoll_);
    throw std::system_error(error, std::generic_category(), "epoll_ctl");
  }
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (...) {
    close(wake_);
    close(epoll_);
    throw;
  }
}

EventLoop::~EventLoop() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  Wake();
  thread_.join();
  // Devices still here (their owner did not wait for them) end with the loop.
  devices_.clear();
  close(wake_);
  close(epoll_);
}

void EventLoop::Wake() {
  const std::uint64_t one = 1;
  // A full counter already wakes the loop; nothing else can fail here.
  [[maybe_unused]] const ssize_t n = write(wake_, &one, sizeof one);
}

void EventLoop::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(job));
  }
  Wake();
}

void EventLoop::Adopt(std::uint64_t id, Waiter& waiter, std::function<Task<>()> steps,
                      std::function<void()> finished) {
  Post([this, id, &waiter, steps = std::move(steps), finished = std::move(finished)]() mutable {
    waiter.id = id;
    waiter.timer.owner = &waiter;
    waiter.ended = false;
    auto [it, added] = devices_.emplace(id, Device{&waiter, StepsThenMark(steps(), waiter), std::move(finished)});
    if (!added) return;
    it->second.task.Start();
    EndIfDone(waiter);  // steps that ended without waiting
  });
}

void EventLoop::Stop(std::uint64_t id) {
  Post([this, id] {
    const auto it = devices_.find(id);
    if (it == devices_.end()) return;
    Waiter& waiter = *it->second.waiter;
    waiter.stopped = true;
    Resume(waiter, WaitResult::Stopped);
  });
}

int EventLoop::Watch(int fd, Waiter& waiter) {
  waiter.readable = false;
  waiter.writable = false;
  waiter.hungUp = false;
  waiter.timer.owner = &waiter;
  epoll_event e{};
  e.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
  e.data.ptr = &waiter;
  return epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e) == 0 ? 0 : errno;
}

// Resumes the waiter's steps if they wait, then ends the device if its steps
// have ended. Only for a device that waits: its first wait must not be cut
// short.
void EventLoop::Resume(Waiter& waiter, WaitResult result) {
  if (const std::coroutine_handle<> handle = std::exchange(waiter.handle, {})) {
    timers_.Cancel(waiter.timer);
    waiter.interest = Interest::None;
    waiter.result = result;
    handle.resume();
  }
  EndIfDone(waiter);
}

void EventLoop::EndIfDone(Waiter& waiter) {
  // Asked after every resumption: a flag, not a search.
  if (!waiter.ended) return;
  waiter.ended = false;
  const auto it = devices_.find(waiter.id);
  if (it == devices_.end()) return;
  timers_.Cancel(waiter.timer);
  // Events of this batch must not reach a waiter that may be gone.
  for (int k = eventIndex_; k < eventCount_; ++k)
    if (events_[static_cast<std::size_t>(k)].data.ptr == &waiter)
      events_[static_cast<std::size_t>(k)].data.ptr = nullptr;
  std::function<void()> finished = std::move(it->second.finished);
  devices_.erase(it);
  finished();
}

bool EventLoop::RunPosted() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = read(wake_, &count, sizeof count);
  std::vector<std::function<void()>> jobs;
  {
    std::lock_guard lock(mutex_);
    if (quit_) return false;
    jobs.swap(posted_);
  }
  for (auto& job : jobs) job();
  return true;
}

void EventLoop::ExpireTimers() {
  const LoopClock::time_point now = LoopClock::now();
  while (TimerEntry* top = timers_.Top()) {
    if (top->when > now) break;
    Waiter& waiter = *static_cast<Waiter*>(top->owner);
    timers_.Cancel(*top);
    Resume(waiter, WaitResult::TimedOut);
  }
}

void EventLoop::Run() {
  bool precise = true;
  for (;;) {
    bool woken = false;
    const int n = WaitForEvents(epoll_, events_.data(), static_cast<int>(events_.size()),
                                timers_.Top(), precise);
    eventCount_ = n < 0 ? 0 : n;
    for (eventIndex_ = 0; eventIndex_ < eventCount_;) {
      const epoll_event e = events_[static_cast<std::size_t>(eventIndex_++)];
      if (e.data.ptr == WakeTag()) woken = true;
      if (e.data.ptr == WakeTag() || e.data.ptr == nullptr) continue;
      Waiter& waiter = *static_cast<Waiter*>(e.data.ptr);
      // A hang-up or an error wakes both ways: the socket call reports it.
      const bool broken = (e.events & (EPOLLERR | EPOLLHUP | EPOLLRDHUP)) != 0;
      waiter.hungUp = waiter.hungUp || broken;
      if ((e.events & EPOLLIN) != 0 || broken) waiter.readable = true;
      if ((e.events & EPOLLOUT) != 0 || broken) waiter.writable = true;
      if ((waiter.interest == Interest::Read && waiter.readable) ||
          (waiter.interest == Interest::Write && waiter.writable))
        Resume(waiter, WaitResult::Ready);
    }
    eventCount_ = 0;
    eventIndex_ = 0;
    if (woken && !RunPosted()) return;
    ExpireTimers();
  }
}

}  // namespace kestrel::collector
