// A peer that never stops sending must not hold the tool beyond its receive
// time-out: neither while stale input is thrown away before a request, nor
// while frames for other requests keep arriving instead of the reply.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "net/CommandChannel.h"
#include "tests/faults/FaultTool.h"
#include "tests/support/Loopback.h"

namespace kestrel::testing {
namespace {

using namespace std::chrono_literals;
using enum net::ReplyFraming;

// Accepts one connection and sends `pattern` over and over, as fast as the
// tool takes it, until the test ends or 5 s have passed.
class StreamingPeer {
 public:
  explicit StreamingPeer(Bytes pattern) : pattern_(std::move(pattern)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = Ipv4(127, 0, 7, 3);
    socklen_t length = sizeof a;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::listen(listener_, 1) == 0 &&
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) == 0)
      port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~StreamingPeer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  std::uint16_t port() const { return port_; }

 private:
  void Run() {
    const auto end = std::chrono::steady_clock::now() + 5s;
    int fd = -1;
    while (!stop_ && std::chrono::steady_clock::now() < end) {
      pollfd p{fd < 0 ? listener_ : fd, static_cast<short>(fd < 0 ? POLLIN : POLLOUT), 0};
      if (::poll(&p, 1, 10) <= 0) continue;
      if (fd < 0) {
        fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        continue;
      }
      if (::send(fd, pattern_.data(), pattern_.size(), MSG_NOSIGNAL) < 0) break;
    }
    if (fd >= 0) ::close(fd);
  }

  Bytes pattern_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

Bytes Repeated(const Bytes& unit, std::size_t times) {
  Bytes all;
  for (std::size_t i = 0; i < times; ++i) all.insert(all.end(), unit.begin(), unit.end());
  return all;
}

TEST(EndlessPeer, NeverHoldsTheToolBeyondItsTimeouts) {
  const net::ChannelTimeouts timeouts = ShortChannelTimeouts();
  const Bytes request{'P', 'G', 0x20, 0xC8};
  struct Case {
    const char* name;
    Bytes unit;           // what the peer repeats
    std::string message;  // the exchange's failure
  } cases[] = {
      // Frames that end but answer another request: the reply never comes.
      {"stray frames", {'z', 'z', ' ', 0xC8}, "ネットワークエラー:R 10060\r\n"},
      // A frame that never ends: the reply limit strikes first.
      {"endless bytes", {'p', 'g', '0', '0'}, "受信データ異常\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StreamingPeer peer(Repeated(c.unit, 256));
    DeviceState state;
    state.localAddress = Ipv4(127, 0, 7, 1);
    net::CommandChannel channel(state, timeouts);

    // Opening drains what arrives on connection; at most for the receive time-out.
    const long long openMs = MillisecondsOf([&] {
      EXPECT_EQ(channel.OpenChannel("127.0.7.3", peer.port(), net::Slot::MainSlot), kStatusOk);
    });
    EXPECT_LE(openMs, timeouts.receiveMs + 1000);

    net::ReplyBuffer reply{};
    const long long exchangeMs = MillisecondsOf([&] {
      EXPECT_EQ(channel.Transact(request.data(), request.size(), reply, UntilTerminator,
                                 net::Slot::MainSlot),
                kStatusFail);
    });
    EXPECT_EQ(state.lastError, c.message);
    // The drain before the request, then the reply's own bound.
    EXPECT_LE(exchangeMs, 2 * timeouts.receiveMs + 1000);
  }
}

}  // namespace
}  // namespace kestrel::testing
