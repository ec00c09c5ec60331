#include "tests/support/UnacceptedListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace kestrel::testing {

namespace {
constexpr int kMaxFillers = 8;
constexpr int kCompletionWaitMs = 100;
}  // namespace

UnacceptedListener::UnacceptedListener(std::uint32_t address) : address_(address) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = address;
  socklen_t len = sizeof a;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(listener_, 0) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (listener_ >= 0) close(listener_);
    throw std::runtime_error("unaccepted listener: cannot listen");
  }
  port_ = ntohs(a.sin_port);

  // Connect until one attempt is left hanging: from then on the queue is full.
  for (int k = 0; k < kMaxFillers; ++k) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) break;
    const int r = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    pollfd p{fd, POLLOUT, 0};
    if (r == 0 || (errno == EINPROGRESS && poll(&p, 1, kCompletionWaitMs) > 0)) {
      fillers_.push_back(fd);
      continue;
    }
    close(fd);
    return;
  }
  for (int fd : fillers_) close(fd);
  close(listener_);
  throw std::runtime_error("unaccepted listener: the queue never filled");
}

UnacceptedListener::~UnacceptedListener() {
  for (int fd : fillers_) close(fd);
  close(listener_);
}

}  // namespace kestrel::testing
