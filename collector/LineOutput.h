#pragma once
// Standard output as the JSON Lines go to it, written so that a reader that
// stops reading cannot hold the writer for good: a pipe, FIFO or terminal is
// opened a second time (through /proc/self/fd) as a description of our own
// and set non-blocking, a socket is sent to without waiting; while it is
// full the write waits in short slices until it can go on or is abandoned.
// The descriptor we were given keeps its flags (the shell shares it).
// A regular file is written as given: the kernel does not hold such a write
// for ever, short of a hung network file system.
#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

namespace kestrel::collector {

// How long one wait for a full pipe lasts before the abandon flag is looked at.
inline constexpr std::chrono::milliseconds kLineWriteSlice{100};

class LineOutput {
 public:
  explicit LineOutput(int fd);
  ~LineOutput();
  LineOutput(const LineOutput&) = delete;
  LineOutput& operator=(const LineOutput&) = delete;

  enum class Result {
    Written,
    Gone,       // the reader has closed its end (EPIPE): the output is over
    Failed,     // another error; `error` says which
    Abandoned,  // Abandon() was called: not (all) written
  };
  // Writes all of `text`; one thread at a time. `written`, when given, is
  // set to how much of it went out (all of it for Written).
  Result Write(std::string_view text, std::string& error, std::size_t* written = nullptr);
  // From any thread: the write waiting now, and every later one, give up.
  void Abandon() { abandoned_ = true; }

 private:
  int fd_;
  int own_ = -1;  // our own non-blocking opening, when there is one
  bool socket_ = false;
  std::atomic<bool> abandoned_{false};
};

}  // namespace kestrel::collector
