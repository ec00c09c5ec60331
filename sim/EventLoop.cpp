#include "sim/EventLoop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kestrel::sim {

namespace {

// Events taken from the kernel per wait; more simply wait for the next round.
constexpr int kEventsPerWait = 256;
// Longest single wait: the loop re-checks its timers at least this often.
constexpr int kLongestWaitMs = 60'000;

}  // namespace

EventLoop::EventLoop()
    : epoll_(::epoll_create1(EPOLL_CLOEXEC)), stop_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (!epoll_.valid() || !stop_.valid()) error_ = std::string("event loop: ") + std::strerror(errno);
}

void EventLoop::Watch(int fd, std::uint32_t events, EventTarget& target, std::uint64_t token) {
  if (fd < 0) return;
  if (static_cast<std::size_t>(fd) >= byFd_.size()) byFd_.resize(static_cast<std::size_t>(fd) + 1);
  byFd_[static_cast<std::size_t>(fd)] = {&target, token};
  epoll_event event{};
  event.events = events;
  event.data.fd = fd;
  ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &event);
}

void EventLoop::Change(int fd, std::uint32_t events) {
  epoll_event event{};
  event.events = events;
  event.data.fd = fd;
  ::epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, fd, &event);
}

void EventLoop::Forget(int fd) {
  if (fd < 0 || static_cast<std::size_t>(fd) >= byFd_.size()) return;
  byFd_[static_cast<std::size_t>(fd)] = {};
  ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
}

void EventLoop::At(SimClock::time_point when, EventTarget& target, std::uint64_t token) {
  timers_.push({when, &target, token});
}

void EventLoop::RequestStop() {
  const std::uint64_t one = 1;
  // A failed write means the counter already holds a stop request.
  [[maybe_unused]] const ssize_t n = ::write(stop_.get(), &one, sizeof one);
}

int EventLoop::TimeoutMs(SimClock::time_point now) const {
  if (timers_.empty()) return kLongestWaitMs;
  if (timers_.top().when <= now) return 0;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(timers_.top().when - now).count();
  return static_cast<int>(std::min<long long>(wait, kLongestWaitMs));
}

void EventLoop::RunDueTimers() {
  const SimClock::time_point now = SimClock::now();
  while (!timers_.empty() && timers_.top().when <= now) {
    const Timer due = timers_.top();
    timers_.pop();
    due.target->OnTimer(due.token);
  }
}

void EventLoop::Run(int wakeFd) {
  epoll_event stopEvent{};
  stopEvent.events = EPOLLIN;
  stopEvent.data.fd = -1;
  ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, stop_.get(), &stopEvent);
  if (wakeFd >= 0) ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, wakeFd, &stopEvent);
  epoll_event events[kEventsPerWait];
  for (bool stopping = false; !stopping;) {
    RunDueTimers();
    const int n = ::epoll_wait(epoll_.get(), events, kEventsPerWait, TimeoutMs(SimClock::now()));
    if (n < 0 && errno != EINTR) break;
    for (int i = 0; i < n; ++i) {
      const int fd = events[i].data.fd;
      if (fd < 0) {
        stopping = true;
        continue;
      }
      // A descriptor forgotten by an earlier event of this round has no target.
      const Registration r =
          static_cast<std::size_t>(fd) < byFd_.size() ? byFd_[static_cast<std::size_t>(fd)] : Registration{};
      if (r.target != nullptr) r.target->OnEvent(r.token, events[i].events);
    }
  }
  ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, stop_.get(), nullptr);
  if (wakeFd >= 0) ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, wakeFd, nullptr);
}

}  // namespace kestrel::sim
