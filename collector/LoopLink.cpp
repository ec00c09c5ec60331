#include "collector/LoopLink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "common/OperatorTexts.h"
#include "net/AddressText.h"
#include "net/ErrorNumbers.h"

namespace kestrel::collector {

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

LoopClock::time_point After(milliseconds span) { return LoopClock::now() + span; }

sockaddr_in ToSockaddr(net::Endpoint e) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = e.address;
  a.sin_port = htons(e.port);
  return a;
}

int LastError() { return net::ToSocketErrorNumber(errno); }

// A waiter's socket call that would block: the readiness it was woken for
// is used up.
bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }

}  // namespace

// A receive found the socket empty: nothing to read until it reports more,
// unless it hung up.
void LoopLink::Drained() { waiter_.readable = waiter_.hungUp; }

LoopLink::~LoopLink() {
  CloseSlot(net::Slot::MainSlot);
  CloseSlot(net::Slot::ConfigSlot);
  CloseProbe();
}

Status LoopLink::Fail(std::string text, FailureCause cause) {
  state_.lastError = std::move(text);
  state_.lastFailure = cause;
  return kStatusFail;
}

Status LoopLink::FailSocket(char letter, FailureStep step, int error) {
  return Fail(NetworkErrorText(letter, error), net::SocketFailure(step, error));
}

void LoopLink::CloseSlot(net::Slot s) {
  int& fd = slot(s);
  if (fd >= 0) close(fd);
  fd = -1;
}

bool LoopLink::Discard(int fd) {
  for (;;) {
    const ssize_t n = recv(fd, chunk_.data(), chunk_.size(), 0);
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && WouldBlock()) {
      Drained();
      return true;
    }
    return false;  // closed or failed: the next receive says so
  }
}

Task<> LoopLink::QuietWait(int fd) {
  const LoopClock::time_point limit = After(milliseconds(timeouts_.receiveMs));
  for (;;) {
    const WaitResult r =
        co_await loop_.Wait(waiter_, Interest::None, LoopClock::now() + microseconds(timeouts_.drainPollUs));
    // Nothing arrived during the wait: quiet.
    if (r == WaitResult::Stopped || !waiter_.readable) co_return;
    if (!Discard(fd) || LoopClock::now() >= limit) co_return;
  }
}

Task<Status> LoopLink::OpenSlot(const std::string& address, std::int32_t port, net::Slot s) {
  CloseSlot(s);
  if (waiter_.stopped) co_return FailSocket('C', FailureStep::Connect, net::kErrInterrupted);
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) co_return FailSocket('S', FailureStep::Connect, LastError());
  slot(s) = fd;
  const sockaddr_in local = ToSockaddr({state_.localAddress, 0});
  if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int e = LastError();
    CloseSlot(s);
    co_return FailSocket('B', FailureStep::Connect, e);
  }
  if (const int e = loop_.Watch(fd, waiter_); e != 0) {
    CloseSlot(s);
    co_return FailSocket('S', FailureStep::Connect, net::ToSocketErrorNumber(e));
  }

  const sockaddr_in peer = ToSockaddr({net::ResolveDeviceAddress(address).value_or(net::kAddressNone),
                                       static_cast<std::uint16_t>(port)});
  if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0 &&
      errno != EINPROGRESS && errno != EINTR) {
    const int e = LastError();
    CloseSlot(s);
    co_return FailSocket('C', FailureStep::Connect, e);
  }
  const LoopClock::time_point deadline = After(milliseconds(timeouts_.connectMs));
  for (;;) {
    const WaitResult r = co_await loop_.Wait(waiter_, Interest::Write, deadline);
    if (r != WaitResult::Ready) {
      CloseSlot(s);
      co_return FailSocket('C', FailureStep::Connect,
                           r == WaitResult::Stopped ? net::kErrInterrupted : net::kErrTimedOut);
    }
    int soError = 0;
    socklen_t length = sizeof soError;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) != 0) soError = errno;
    if (soError != 0) {
      CloseSlot(s);
      co_return FailSocket('C', FailureStep::Connect, net::ToSocketErrorNumber(soError));
    }
    sockaddr_in connected{};
    socklen_t size = sizeof connected;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&connected), &size) == 0) break;
    waiter_.writable = false;  // a readiness hint that did not hold: wait on
  }

  // A greeting or anything else sent on connection is not a reply.
  co_await QuietWait(fd);
  co_return kStatusOk;
}

Task<Status> LoopLink::Transact(const std::uint8_t* request, std::size_t requestLength,
                                net::ReplyBuffer& reply, net::ReplyFraming framing, net::Slot s,
                                std::size_t* replyLength) {
  if (replyLength != nullptr) *replyLength = 0;
  const int fd = slot(s);
  // Late or surplus replies to earlier requests must not be read as this one's.
  co_await QuietWait(fd);
  if (waiter_.stopped) co_return FailSocket('D', FailureStep::Send, net::kErrInterrupted);

  const LoopClock::time_point sendDeadline = After(milliseconds(timeouts_.sendMs));
  for (std::size_t sent = 0; sent < requestLength;) {
    const ssize_t n = send(fd, request + sent, requestLength - sent, MSG_NOSIGNAL);
    if (n >= 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (!WouldBlock()) co_return FailSocket('D', FailureStep::Send, LastError());
    waiter_.writable = false;
    const WaitResult r = co_await loop_.Wait(waiter_, Interest::Write, sendDeadline);
    if (r != WaitResult::Ready) co_return FailSocket('D', FailureStep::Send, net::kErrTimedOut);
  }

  net::ReplyCollector collector(framing, net::EchoOfRequest(request, requestLength), reply);
  const LoopClock::time_point overall = After(milliseconds(timeouts_.receiveMs));
  for (;;) {
    // Each receive waits the receive time-out; once a frame with another
    // echo was dropped, the whole reply must come within it from the send.
    const LoopClock::time_point deadline =
        collector.droppedFrames() > 0 ? overall : After(milliseconds(timeouts_.receiveMs));
    const WaitResult r = co_await loop_.Wait(waiter_, Interest::Read, deadline);
    if (r != WaitResult::Ready) {
      if (replyLength != nullptr) *replyLength = collector.length();
      co_return FailSocket('R', FailureStep::Receive, net::kErrTimedOut);
    }
    const ssize_t n = recv(fd, chunk_.data(), chunk_.size(), 0);
    if (n < 0 && (errno == EINTR || WouldBlock())) {
      if (errno != EINTR) Drained();
      continue;
    }
    if (n <= 0) {
      if (replyLength != nullptr) *replyLength = collector.length();
      co_return FailSocket('R', FailureStep::Receive, n == 0 ? net::kErrConnectionReset : LastError());  // 0: closed mid-reply
    }
    // A short read emptied the socket; the next arrival is reported anew.
    if (static_cast<std::size_t>(n) < chunk_.size()) Drained();
    for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
      const net::ReplyCollector::Step step = collector.Feed(chunk_[k]);
      if (replyLength != nullptr) *replyLength = collector.length();
      if (step == net::ReplyCollector::Step::Complete) co_return kStatusOk;
      if (step == net::ReplyCollector::Step::LimitExceeded)
        co_return Fail(kMsgReplyDataError, {FailureStep::Reply, FailureKind::Reply, 0});
    }
  }
}

int LoopLink::OpenProbe(std::uint32_t localAddress, std::uint32_t receiveMs) {
  CloseProbe();
  if (waiter_.stopped) return net::kErrInterrupted;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return LastError();
  probe_ = fd;
  probeReceiveMs_ = receiveMs;
  // As the blocking probe: failures of the option and the bind show up as no
  // answer or as a failed receive.
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  const sockaddr_in local = ToSockaddr({localAddress, 0});
  bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local);
  if (const int e = loop_.Watch(fd, waiter_); e != 0) {
    CloseProbe();
    return net::ToSocketErrorNumber(e);
  }
  return 0;
}

void LoopLink::SendProbe(const std::uint8_t* data, std::size_t length, net::Endpoint to) {
  const sockaddr_in a = ToSockaddr(to);
  sendto(probe_, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&a), sizeof a);
}

Task<int> LoopLink::WaitProbeReadable(std::uint32_t timeoutUs, bool& readable) {
  const WaitResult r =
      co_await loop_.Wait(waiter_, Interest::Read, LoopClock::now() + microseconds(timeoutUs));
  if (r == WaitResult::Stopped) co_return net::kErrInterrupted;
  readable = r == WaitResult::Ready;
  co_return 0;
}

Task<int> LoopLink::ReceiveProbe(std::uint8_t* buffer, std::size_t length, std::size_t& received,
                                 net::Endpoint& from) {
  const LoopClock::time_point deadline = After(milliseconds(probeReceiveMs_));
  for (;;) {
    sockaddr_in a{};
    socklen_t size = sizeof a;
    // MSG_TRUNC tells the datagram's real length: a longer one fails as the
    // blocking receive fails it.
    const ssize_t n = recvfrom(probe_, buffer, length, MSG_TRUNC, reinterpret_cast<sockaddr*>(&a), &size);
    if (n >= 0) {
      from = net::Endpoint{a.sin_addr.s_addr, ntohs(a.sin_port)};
      received = std::min(static_cast<std::size_t>(n), length);
      co_return static_cast<std::size_t>(n) > length ? net::kErrMessageTooLong : 0;
    }
    if (errno == EINTR) continue;
    if (!WouldBlock()) co_return LastError();
    Drained();
    const WaitResult r = co_await loop_.Wait(waiter_, Interest::Read, deadline);
    if (r != WaitResult::Ready) co_return r == WaitResult::Stopped ? net::kErrInterrupted : net::kErrTimedOut;
  }
}

void LoopLink::CloseProbe() {
  if (probe_ >= 0) close(probe_);
  probe_ = -1;
}

Task<> LoopLink::Pause(std::uint32_t ms) {
  co_await loop_.Wait(waiter_, Interest::None, After(milliseconds(ms)));
}

}  // namespace kestrel::collector
