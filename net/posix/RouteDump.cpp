#include "net/posix/RouteDump.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace kestrel::net::posix {
namespace {

// The kernel answers a dump at once; these only stop a stuck socket from
// hanging window start-up.
constexpr int kReceiveTimeoutSeconds = 2;
constexpr int kMaxReceives = 4096;
// Big enough for any single dump batch the kernel sends (it sizes batches to
// the page size or to the reader's buffer, whichever it was offered).
constexpr std::size_t kReceiveBuffer = 64 * 1024;
constexpr std::size_t kMaxRequestBody = 64;

class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() {
    if (fd_ >= 0) close(fd_);
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;

 private:
  int fd_;
};

bool SendRequest(int fd, unsigned short requestType, const void* request, std::size_t requestSize,
                 unsigned sequence) {
  struct {
    nlmsghdr header;
    unsigned char body[kMaxRequestBody];
  } message{};
  if (requestSize > sizeof(message.body)) return false;
  message.header.nlmsg_len = static_cast<unsigned>(NLMSG_LENGTH(requestSize));
  message.header.nlmsg_type = requestType;
  message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  message.header.nlmsg_seq = sequence;
  std::memcpy(message.body, request, requestSize);

  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  const ssize_t sent = sendto(fd, &message, message.header.nlmsg_len, 0,
                              reinterpret_cast<const sockaddr*>(&kernel), sizeof(kernel));
  return sent == static_cast<ssize_t>(message.header.nlmsg_len);
}

}  // namespace

bool DumpRoute(unsigned short requestType, const void* request, std::size_t requestSize,
               const std::function<void(const nlmsghdr&)>& onMessage) {
  const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (fd < 0) return false;
  FdCloser closer(fd);

  timeval timeout{};
  timeout.tv_sec = kReceiveTimeoutSeconds;
  if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout)) != 0) return false;

  constexpr unsigned kSequence = 1;
  if (!SendRequest(fd, requestType, request, requestSize, kSequence)) return false;

  std::vector<unsigned char> buffer(kReceiveBuffer);
  for (int receive = 0; receive < kMaxReceives; ++receive) {
    const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
    if (got <= 0) return false;
    int left = static_cast<int>(got);
    for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer.data()); NLMSG_OK(header, left);
         header = NLMSG_NEXT(header, left)) {
      if (header->nlmsg_seq != kSequence) continue;
      if (header->nlmsg_type == NLMSG_DONE) return true;
      if (header->nlmsg_type == NLMSG_ERROR) return false;
      onMessage(*header);
    }
  }
  return false;
}

}  // namespace kestrel::net::posix
