#include "collector/LineOutput.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kestrel::collector {

LineOutput::LineOutput(int fd) : fd_(fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return;
  if (S_ISSOCK(st.st_mode)) {
    socket_ = true;
  } else if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
    // O_NONBLOCK on `fd` itself would reach every process sharing it (the
    // shell's terminal among them); a second opening has flags of its own.
    // It fails for a FIFO without a reader: the plain descriptor then says
    // EPIPE at the first write.
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    own_ = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own_ >= 0) fd_ = own_;
  }
}

LineOutput::~LineOutput() {
  if (own_ >= 0) close(own_);
}

LineOutput::Result LineOutput::Write(std::string_view all, std::string& error, std::size_t* written) {
  std::string_view text = all;
  if (written != nullptr) *written = 0;
  const auto done = [&](Result r) {
    if (written != nullptr) *written = all.size() - text.size();
    return r;
  };
  while (!text.empty()) {
    if (abandoned_) return done(Result::Abandoned);
    const ssize_t n = socket_ ? send(fd_, text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL)
                              : write(fd_, text.data(), text.size());
    if (n >= 0) {
      text.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd writable{fd_, POLLOUT, 0};
      poll(&writable, 1, static_cast<int>(kLineWriteSlice.count()));
      continue;
    }
    if (errno == EPIPE || errno == ECONNRESET) return done(Result::Gone);
    error = std::generic_category().message(errno);
    return done(Result::Failed);
  }
  return done(Result::Written);
}

}  // namespace kestrel::collector
