// POSIX side of the test peers' socket calls.
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "net/ErrorNumbers.h"
#include "tests/support/PeerSockets.h"

namespace kestrel::testing::peer {

namespace {
int Fd(SocketHandle s) { return static_cast<int>(s); }
}  // namespace

void AllowPortReuse(SocketHandle s) {
  const int one = 1;
  setsockopt(Fd(s), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
}

int Listen(SocketHandle s, int backlog) {
  return listen(Fd(s), backlog) == 0 ? 0 : net::ToSocketErrorNumber(errno);
}

int Accept(SocketHandle listener, SocketHandle& out) {
  out = net::kInvalidSocket;
  const int fd = accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return net::ToSocketErrorNumber(errno);
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  out = fd;
  return 0;
}

void ShutdownSending(SocketHandle s) { shutdown(Fd(s), SHUT_WR); }

void ResetOnClose(SocketHandle s) {
  const linger abort{1, 0};
  setsockopt(Fd(s), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

int WaitAnyReadable(const std::vector<SocketHandle>& sockets, int timeoutMs,
                    std::vector<bool>& readable) {
  std::vector<pollfd> fds;
  for (SocketHandle s : sockets) fds.push_back({Fd(s), POLLIN, 0});
  readable.assign(sockets.size(), false);
  const int r = poll(fds.data(), fds.size(), timeoutMs);
  if (r < 0) return errno == EINTR ? 0 : net::ToSocketErrorNumber(errno);
  for (std::size_t k = 0; k < fds.size(); ++k) readable[k] = fds[k].revents != 0;
  return 0;
}

int OpenSocketCount() {
  int n = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  while (const dirent* entry = readdir(dir)) {
    const std::string path = std::string("/proc/self/fd/") + entry->d_name;
    char target[64] = {};
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length > 0 && std::string_view(target, static_cast<std::size_t>(length)).starts_with("socket:"))
      ++n;
  }
  closedir(dir);
  return n;
}

}  // namespace kestrel::testing::peer
