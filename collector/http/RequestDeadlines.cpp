#include "collector/http/RequestDeadlines.h"

#include <sys/socket.h>

namespace kestrel::collector {

namespace {
// How often late connections are looked for: a small part of the limit.
constexpr std::chrono::milliseconds kCheckPeriod{250};
}  // namespace

RequestDeadlines::RequestDeadlines(std::chrono::milliseconds limit)
    : limit_(limit), thread_([this] { Run(); }) {}

RequestDeadlines::~RequestDeadlines() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void RequestDeadlines::Opened(const void* connection, int socket) {
  std::lock_guard lock(mutex_);
  connections_[connection] = Watched{socket, std::chrono::steady_clock::now() + limit_, true};
}

void RequestDeadlines::RequestIn(const void* connection) {
  std::lock_guard lock(mutex_);
  if (const auto it = connections_.find(connection); it != connections_.end()) it->second.waiting = false;
}

void RequestDeadlines::Answered(const void* connection) {
  std::lock_guard lock(mutex_);
  if (const auto it = connections_.find(connection); it != connections_.end())
    it->second = Watched{it->second.socket, std::chrono::steady_clock::now() + limit_, true};
}

void RequestDeadlines::Closed(const void* connection) {
  std::lock_guard lock(mutex_);
  connections_.erase(connection);
}

void RequestDeadlines::Run() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    wake_.wait_for(lock, kCheckPeriod);
    const auto now = std::chrono::steady_clock::now();
    for (auto& [connection, watched] : connections_) {
      if (!watched.waiting || now < watched.deadline) continue;
      // Under the lock: Closed, which comes before the socket is closed,
      // waits for it, so the number cannot be another socket's yet.
      shutdown(watched.socket, SHUT_RDWR);
      watched.waiting = false;
    }
  }
}

}  // namespace kestrel::collector
