// POSIX system calls of the socket layer; errno values become the Windows
// Sockets numbers of the same meaning.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "net/ErrorNumbers.h"
#include "net/SocketSystem.h"

namespace kestrel::net::system {

namespace {

int LastError() { return ToSocketErrorNumber(errno); }

int Fd(SocketHandle s) { return static_cast<int>(s); }

bool SetBlocking(int fd, bool blocking) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return fcntl(fd, F_SETFL, wanted) == 0;
}

// Linux lets a poll() time-out run late by the thread's timer slack (50 µs by
// default) so that wake-ups can be batched. That is 5% of the 1 ms input
// drain before every request, paid on every exchange; a wait here asks for
// the time it names instead, and leaves the slack as it found it.
class ExactTimeouts {
 public:
  ExactTimeouts() : previous_(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0)) {
    if (previous_ > kExactNs) prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(kExactNs), 0, 0, 0);
  }
  ~ExactTimeouts() {
    if (previous_ > kExactNs) prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(previous_), 0, 0, 0);
  }
  ExactTimeouts(const ExactTimeouts&) = delete;
  ExactTimeouts& operator=(const ExactTimeouts&) = delete;

 private:
  static constexpr int kExactNs = 1;  // 0 would mean "the default"
  const int previous_;
};

// poll() until `events` or the deadline; a signal does not shorten the wait.
// Returns 1 when ready, 0 on time-out, -1 with errno on failure.
int PollUntil(int fd, short events, std::chrono::steady_clock::time_point deadline,
              short& revents) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd, events, 0};
    const int r = poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (r < 0 && errno == EINTR && left.count() > 0) continue;
    revents = p.revents;
    return r;
  }
}

}  // namespace

int StartLibrary() { return 0; }

int Create(SocketKind kind, SocketHandle& out) {
  const int type = kind == SocketKind::Stream ? SOCK_STREAM : SOCK_DGRAM;
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return LastError();
  out = fd;
  return 0;
}

int Bind(SocketHandle s, const SocketAddressV4& local) {
  const sockaddr_in a = ToSockaddr<sockaddr_in>(local);
  return bind(Fd(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0 : LastError();
}

int LocalAddress(SocketHandle s, SocketAddressV4& out) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getsockname(Fd(s), reinterpret_cast<sockaddr*>(&a), &len) != 0) return LastError();
  out = FromSockaddr(a);
  return 0;
}

bool ConnectWithin(SocketHandle s, const SocketAddressV4& peer, std::uint32_t timeoutMs,
                   int& error) {
  const int fd = Fd(s);
  if (!SetBlocking(fd, false)) return false;
  bool connected = false;
  const sockaddr_in a = ToSockaddr<sockaddr_in>(peer);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
    connected = true;
  } else if (errno != EINPROGRESS && errno != EINTR) {
    // EINTR leaves the connection attempt running, exactly like EINPROGRESS.
    error = LastError();
  } else {
    short revents = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (PollUntil(fd, POLLOUT, deadline, revents) <= 0) {
      error = kErrTimedOut;
    } else {
      int soError = 0;
      socklen_t len = sizeof soError;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
        error = LastError();
      else if (soError != 0)
        error = ToSocketErrorNumber(soError);
      else
        connected = true;
    }
  }
  SetBlocking(fd, true);
  return connected;
}

int SetTimeout(SocketHandle s, TimeoutKind kind, std::uint32_t ms) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(ms / 1000);
  tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
  const int option = kind == TimeoutKind::Send ? SO_SNDTIMEO : SO_RCVTIMEO;
  return setsockopt(Fd(s), SOL_SOCKET, option, &tv, sizeof tv) == 0 ? 0 : LastError();
}

int SetBroadcast(SocketHandle s, bool enabled) {
  const int value = enabled ? 1 : 0;
  return setsockopt(Fd(s), SOL_SOCKET, SO_BROADCAST, &value, sizeof value) == 0 ? 0 : LastError();
}

int Send(SocketHandle s, const void* data, std::size_t length, std::size_t& sent) {
  // MSG_NOSIGNAL: a closed peer must be an error number, not a SIGPIPE.
  const ssize_t n = send(Fd(s), data, length, MSG_NOSIGNAL);
  if (n < 0) return LastError();
  sent = static_cast<std::size_t>(n);
  return 0;
}

int Receive(SocketHandle s, void* buffer, std::size_t length, std::size_t& received) {
  const ssize_t n = recv(Fd(s), buffer, length, 0);
  if (n < 0) return LastError();
  received = static_cast<std::size_t>(n);
  return 0;
}

int SendTo(SocketHandle s, const void* data, std::size_t length, const SocketAddressV4& peer) {
  const sockaddr_in a = ToSockaddr<sockaddr_in>(peer);
  const ssize_t n =
      sendto(Fd(s), data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  return n < 0 ? LastError() : 0;
}

int ReceiveFrom(SocketHandle s, void* buffer, std::size_t length, std::size_t& received,
                SocketAddressV4& from) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  // MSG_TRUNC makes recvfrom tell the datagram's real length, so that a
  // datagram longer than the buffer fails as it does on Windows.
  const ssize_t n =
      recvfrom(Fd(s), buffer, length, MSG_TRUNC, reinterpret_cast<sockaddr*>(&a), &len);
  if (n < 0) return LastError();
  from = FromSockaddr(a);
  if (static_cast<std::size_t>(n) > length) {
    received = length;
    return kErrMessageTooLong;
  }
  received = static_cast<std::size_t>(n);
  return 0;
}

int WaitReadable(SocketHandle s, std::uint32_t timeoutUs, bool& readable) {
  short revents = 0;
  const ExactTimeouts exact;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(timeoutUs);
  const int r = PollUntil(Fd(s), POLLIN, deadline, revents);
  if (r < 0) return LastError();
  if (r > 0 && (revents & POLLNVAL) != 0) return kErrNotSocket;
  // A hang-up or a pending error is "readable" too: the receive reports it.
  readable = r > 0;
  return 0;
}

void Close(SocketHandle s) { close(Fd(s)); }

std::optional<std::uint32_t> ResolveHostV4(const std::string& name) {
  return FirstAddressV4<addrinfo, sockaddr_in>(name, AF_INET, SOCK_STREAM);
}

}  // namespace kestrel::net::system
