#pragma once
// A bound on the time a client takes to send a whole request. The server's
// own time-out only counts silence, so a client that sends a byte now and
// then would hold its connection, and its thread, for ever; enough of them
// keep every scrape out. Each connection gets a deadline when it opens and
// again after each answer (for the next request on a kept-alive connection);
// a connection whose request is not all in by then is shut down, which ends
// its thread's wait at once.
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace kestrel::collector {

class RequestDeadlines {
 public:
  explicit RequestDeadlines(std::chrono::milliseconds limit);
  ~RequestDeadlines();
  RequestDeadlines(const RequestDeadlines&) = delete;
  RequestDeadlines& operator=(const RequestDeadlines&) = delete;

  // `connection` identifies it until Closed; `socket` is shut down when late.
  void Opened(const void* connection, int socket);
  void RequestIn(const void* connection);  // headers complete: no deadline while it is answered
  void Answered(const void* connection);   // the next request's time starts
  void Closed(const void* connection);     // before its socket is closed

 private:
  void Run();

  const std::chrono::milliseconds limit_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  struct Watched {
    int socket = -1;
    std::chrono::steady_clock::time_point deadline;
    bool waiting = true;  // for a request
  };
  std::map<const void*, Watched> connections_;
  std::thread thread_;  // last: started once the rest is set up
};

}  // namespace kestrel::collector
