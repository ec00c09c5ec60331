// The Windows Sockets backend against real loopback sockets: the outcomes of
// the bounded connect, the error numbers callers show to the operator, and
// the blocking mode a socket is left in.
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <vector>

#include "net/Socket.h"

namespace kestrel::net {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kLoopback = 0x0100007Fu;  // 127.0.0.1, network order
constexpr std::uint32_t kShortMs = 300;

// A raw listening socket on 127.0.0.1 with a kernel-chosen port.
class Listener {
 public:
  explicit Listener(int backlog) {
    StartSocketLibrary();
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = kLoopback;
    int length = sizeof a;
    ok_ = socket_ != INVALID_SOCKET && ::bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
          ::listen(socket_, backlog) == 0 &&
          ::getsockname(socket_, reinterpret_cast<sockaddr*>(&a), &length) == 0;
    port_ = ntohs(a.sin_port);
  }
  ~Listener() {
    for (SocketHandle s : fillers_) CloseSocket(s);
    closesocket(socket_);
  }
  bool ok() const { return ok_; }
  Endpoint endpoint() const { return {kLoopback, port_}; }

  SOCKET Accept() { return ::accept(socket_, nullptr, nullptr); }

  // Connects until an attempt is left hanging; from then on the listener's
  // queue is full and further connects are never accepted.
  bool FillQueue() {
    for (int k = 0; k < 8; ++k) {
      SocketHandle s = kInvalidSocket;
      if (CreateSocket(SocketKind::Stream, s) != 0) return false;
      int error = 0;
      const bool connected = ConnectWithin(s, endpoint(), 200, error);
      fillers_.push_back(s);
      if (!connected) return error == WSAETIMEDOUT;
    }
    return false;
  }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  bool ok_ = false;
  std::uint16_t port_ = 0;
  std::vector<SocketHandle> fillers_;
};

struct OpenSocket {
  SocketHandle s = kInvalidSocket;
  explicit OpenSocket(SocketKind kind) { EXPECT_EQ(CreateSocket(kind, s), 0); }
  ~OpenSocket() { CloseSocket(s); }
};

// Receives with a short time-out: a blocking socket waits and reports
// WSAETIMEDOUT, a socket left non-blocking would answer WSAEWOULDBLOCK at once.
int ReceiveError(SocketHandle s) {
  EXPECT_EQ(SetReceiveTimeout(s, 50), 0);
  std::array<char, 4> buffer{};
  std::size_t received = 0;
  return Receive(s, buffer.data(), buffer.size(), received);
}

TEST(WinSocket, ConnectOutcomesAndBlockingModeAfterwards) {
  enum class Peer { Accepting, Closed, QueueFull };
  struct Case {
    const char* name;
    Peer peer;
    bool connected;
    int error;
  };
  const Case cases[] = {
      {"accepting peer", Peer::Accepting, true, 0},
      {"nothing listening", Peer::Closed, false, WSAECONNREFUSED},
      {"never accepted", Peer::QueueFull, false, WSAETIMEDOUT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Endpoint peer;
    Listener listener(c.peer == Peer::QueueFull ? 0 : 4);
    ASSERT_TRUE(listener.ok());
    peer = listener.endpoint();
    if (c.peer == Peer::Closed) {
      Listener gone(1);
      peer = gone.endpoint();  // closed again when `gone` ends
    }
    if (c.peer == Peer::QueueFull) {
      ASSERT_TRUE(listener.FillQueue());
    }

    OpenSocket client(SocketKind::Stream);
    int error = -1;
    const auto start = Clock::now();
    EXPECT_EQ(ConnectWithin(client.s, peer, kShortMs, error), c.connected);
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(error, c.error);
    if (c.peer == Peer::QueueFull) {
      EXPECT_GE(elapsed, std::chrono::milliseconds(kShortMs - 50));
      EXPECT_LT(elapsed, std::chrono::milliseconds(kShortMs + 2000));
    }
    if (c.connected) {
      EXPECT_EQ(ReceiveError(client.s), WSAETIMEDOUT);
    }
  }
}

TEST(WinSocket, ConnectOnNoSocketFailsWithoutWaiting) {
  int error = 0;
  EXPECT_FALSE(ConnectWithin(kInvalidSocket, {kLoopback, 9}, kShortMs, error));
  EXPECT_EQ(error, WSAENOTSOCK);
}

TEST(WinSocket, BindToAnAddressThatIsNotLocalFails) {
  OpenSocket s(SocketKind::Stream);
  const std::uint32_t documentationAddress = 0x010200C0u;  // 192.0.2.1; nothing is sent
  EXPECT_EQ(Bind(s.s, {documentationAddress, 0}), WSAEADDRNOTAVAIL);
  EXPECT_EQ(Bind(s.s, {kLoopback, 0}), 0);
  Endpoint local;
  EXPECT_EQ(LocalEndpoint(s.s, local), 0);
  EXPECT_EQ(local.address, kLoopback);
  EXPECT_NE(local.port, 0);
}

TEST(WinSocket, StreamReceiveReportsTimeOutAndPeerClose) {
  Listener listener(4);
  ASSERT_TRUE(listener.ok());
  OpenSocket client(SocketKind::Stream);
  int error = 0;
  ASSERT_TRUE(ConnectWithin(client.s, listener.endpoint(), 2000, error));
  const SOCKET server = listener.Accept();
  ASSERT_NE(server, INVALID_SOCKET);

  EXPECT_EQ(ReceiveError(client.s), WSAETIMEDOUT);

  const char hello[] = "ab";
  ASSERT_EQ(::send(server, hello, 2, 0), 2);
  bool readable = false;
  EXPECT_EQ(WaitReadable(client.s, 1000000, readable), 0);
  EXPECT_TRUE(readable);
  std::array<char, 8> buffer{};
  std::size_t received = 0;
  EXPECT_EQ(Receive(client.s, buffer.data(), buffer.size(), received), 0);
  EXPECT_EQ(received, 2u);

  closesocket(server);
  EXPECT_EQ(Receive(client.s, buffer.data(), buffer.size(), received), 0);
  EXPECT_EQ(received, 0u);
}

// Windows takes a time-out of 0 as none at all; ours wait 1 ms instead.
TEST(WinSocket, AZeroTimeOutIsSetAsOneMillisecond) {
  OpenSocket socket(SocketKind::Stream);
  for (int option : {SO_RCVTIMEO, SO_SNDTIMEO}) {
    EXPECT_EQ(option == SO_RCVTIMEO ? SetReceiveTimeout(socket.s, 0) : SetSendTimeout(socket.s, 0), 0);
    DWORD value = 0;
    int length = sizeof value;
    ASSERT_EQ(::getsockopt(static_cast<SOCKET>(socket.s), SOL_SOCKET, option,
                           reinterpret_cast<char*>(&value), &length), 0);
    EXPECT_EQ(value, 1u) << option;
  }
}

TEST(WinSocket, DatagramsLongerThanTheBufferFailWithMessageSize) {
  OpenSocket receiver(SocketKind::Datagram);
  OpenSocket sender(SocketKind::Datagram);
  ASSERT_EQ(Bind(receiver.s, {kLoopback, 0}), 0);
  ASSERT_EQ(Bind(sender.s, {kLoopback, 0}), 0);
  Endpoint to, from, senderAddress;
  ASSERT_EQ(LocalEndpoint(receiver.s, to), 0);
  ASSERT_EQ(LocalEndpoint(sender.s, senderAddress), 0);
  ASSERT_EQ(SetReceiveTimeout(receiver.s, 2000), 0);

  struct Case {
    std::size_t length;
    int error;
  };
  const Case cases[] = {{30, 0}, {31, WSAEMSGSIZE}, {124, WSAEMSGSIZE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::vector<std::uint8_t> datagram(c.length);
    for (std::size_t i = 0; i < datagram.size(); ++i) datagram[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(SendTo(sender.s, datagram.data(), datagram.size(), to), 0);
    std::array<std::uint8_t, 30> buffer{};
    std::size_t received = 0;
    EXPECT_EQ(ReceiveFrom(receiver.s, buffer.data(), buffer.size(), received, from), c.error);
    EXPECT_EQ(received, 30u);
    EXPECT_EQ(from, senderAddress);
    EXPECT_EQ(std::memcmp(buffer.data(), datagram.data(), buffer.size()), 0);
  }
}

TEST(WinSocket, NoAnswerFromAClosedPortIsSilenceNotAFailedReceive) {
  OpenSocket probe(SocketKind::Datagram);
  ASSERT_EQ(Bind(probe.s, {kLoopback, 0}), 0);
  Endpoint closedPort;
  {
    OpenSocket gone(SocketKind::Datagram);
    ASSERT_EQ(Bind(gone.s, {kLoopback, 0}), 0);
    ASSERT_EQ(LocalEndpoint(gone.s, closedPort), 0);
  }
  const std::uint8_t query[4] = {0, 0, 0, 0xF6};
  ASSERT_EQ(SendTo(probe.s, query, sizeof query, closedPort), 0);
  bool readable = true;
  EXPECT_EQ(WaitReadable(probe.s, 200000, readable), 0);
  EXPECT_FALSE(readable);
}

}  // namespace
}  // namespace kestrel::net
