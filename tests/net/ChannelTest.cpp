#include <gtest/gtest.h>

#include <chrono>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "common/OperatorTexts.h"
#include "net/CommandChannel.h"
#include "net/Socket.h"
#include "tests/support/PeerSockets.h"
#include "tests/support/ScriptedTcpPeer.h"
#include "tests/support/UnacceptedListener.h"

namespace kestrel::net {
namespace {

using namespace std::chrono_literals;
using enum ReplyFraming;
using testing::Bytes;
using testing::Ipv4;
using testing::PeerAction;
using testing::ScriptedTcpPeer;
using testing::UnacceptedListener;
using testing::WaitUntil;
using testing::peer::OpenSocketCount;

constexpr ChannelTimeouts kShort{300, 300, 250, 1000, 10};
const Bytes kIdentify{'M', 'I', 0xC8};
const Bytes kDumpQuery{'D', 'U', 'M', 'P', '\n', 'E', 'N', 'D', '\n'};

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Bytes Filler(std::size_t n, std::uint8_t value = 'x') { return Bytes(n, value); }
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

DeviceState LoopbackState() {
  DeviceState state;
  state.localAddress = Ipv4(127, 0, 0, 1);
  return state;
}

// A port on which nothing listens: bound once by us, then released.
std::uint16_t RefusingPort() {
  SocketHandle s = kInvalidSocket;
  Endpoint bound;
  EXPECT_EQ(CreateSocket(SocketKind::Stream, s), 0);
  EXPECT_EQ(Bind(s, {Ipv4(127, 0, 0, 1), 0}), 0);
  EXPECT_EQ(LocalEndpoint(s, bound), 0);
  CloseSocket(s);
  return bound.port;
}

struct ExchangeCase {
  const char* name;
  ReplyFraming framing;
  std::vector<PeerAction> answer;
  bool succeeds;
  Bytes reply;  // expected buffer contents from index 0 on success
  std::string error;  // expected lastError on failure
  std::uint32_t receiveMs = kShort.receiveMs;
};

std::vector<ExchangeCase> ExchangeCases() {
  const Bytes reply = Text("mi") + Bytes{0x3E, 0x31, 0xC8};
  const Bytes dump = Text("MODE=0\r\nEND\r\n\r\n");
  const Bytes markerAt4095 = Filler(4096 - 7) + Text("END\r\n\r\n");
  return {
      {"terminator in one segment", UntilTerminator, {PeerAction::Send(reply)}, true, reply, ""},
      {"terminator in one-byte segments", UntilTerminator, {PeerAction::SendInPieces(reply, 1)},
       true, reply, ""},
      {"stray frame skipped", UntilTerminator,
       {PeerAction::Send(Text("pj") + Bytes{0x2F, 0x24, 0xC8} + reply)}, true, reply, ""},
      // Once the stray frame is dropped the whole reply is due within one
      // receive time-out from the send: 4 KB read a byte at a time needs
      // more than the short one on a loaded machine, and under Wine.
      {"long stray frame counts on its own", UntilTerminator,
       {PeerAction::Send(Filler(4000) + Bytes{0xC8} + reply)}, true, reply, "", 5000},
      {"terminator as the 4096th byte", UntilTerminator,
       {PeerAction::Send(Text("mi") + Filler(4093) + Bytes{0xC8})}, true,
       Text("mi") + Filler(4093) + Bytes{0xC8}, ""},
      {"4096 bytes without terminator", UntilTerminator,
       {PeerAction::Send(Text("mi") + Filler(4094))}, false, {}, kMsgReplyDataError},
      {"end marker split into one-byte segments", UntilEndMarker,
       {PeerAction::SendInPieces(dump, 1)}, true, dump, ""},
      {"end marker ending at index 4095", UntilEndMarker, {PeerAction::Send(markerAt4095)}, true,
       markerAt4095, ""},
      {"4096 bytes without end marker", UntilEndMarker, {PeerAction::Send(Filler(4096))}, false,
       {}, kMsgReplyDataError},
      {"silent device", UntilTerminator, {}, false, {}, "ネットワークエラー:R 10060\r\n"},
      {"peer closes mid-reply", UntilTerminator,
       {PeerAction::Send(Text("mi")), PeerAction::Close()}, false, {},
       "ネットワークエラー:R 10054\r\n"},
      {"peer resets mid-reply", UntilEndMarker,
       {PeerAction::Send(Text("MODE")), PeerAction::Pause(20ms), PeerAction::Reset()}, false, {},
       "ネットワークエラー:R 10054\r\n"},
  };
}

TEST(CommandChannel, CollectsRepliesByFraming) {
  for (const ExchangeCase& c : ExchangeCases()) {
    SCOPED_TRACE(c.name);
    ScriptedTcpPeer peer(ScriptedTcpPeer::InOrder({c.answer}));
    DeviceState state = LoopbackState();
    ChannelTimeouts timeouts = kShort;
    timeouts.receiveMs = c.receiveMs;
    CommandChannel channel(state, timeouts);
    ASSERT_EQ(channel.OpenChannel("127.0.0.1", peer.port(), Slot::MainSlot), kStatusOk)
        << state.lastError;
    ASSERT_TRUE(WaitUntil([&] { return peer.accepted() == 1; }));
    const int sockets = OpenSocketCount();

    const Bytes& request = c.framing == UntilEndMarker ? kDumpQuery : kIdentify;
    ReplyBuffer buffer{};
    std::size_t length = 0;
    const Status status =
        channel.Transact(request.data(), request.size(), buffer, c.framing, Slot::MainSlot, &length);

    EXPECT_EQ(peer.requests(), std::vector<Bytes>{request});
    EXPECT_TRUE(channel.IsOpen(Slot::MainSlot));  // an exchange never closes the connection
    if (c.succeeds) {
      EXPECT_EQ(OpenSocketCount(), sockets);  // both ends still open
      ASSERT_EQ(status, kStatusOk) << state.lastError;
      ASSERT_EQ(length, c.reply.size());
      EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length)), c.reply);
    } else {
      EXPECT_EQ(status, kStatusFail);
      EXPECT_EQ(state.lastError, c.error);
    }
  }
}

TEST(CommandChannel, DiscardsBytesThatArriveBeforeARequest) {
  // A greeting on connect, and a surplus frame behind the first reply that
  // would pass for the second reply if it were not drained.
  ScriptedTcpPeer::Options options;
  options.onConnect = {PeerAction::Send(Text("hello\xC8"))};
  ScriptedTcpPeer peer(ScriptedTcpPeer::InOrder({
                           {PeerAction::Send(Text("mi1\xC8" "mi2\xC8"))},
                           {PeerAction::Send(Text("mi3\xC8"))},
                       }),
                       options);
  DeviceState state = LoopbackState();
  CommandChannel channel(state, kShort);
  ASSERT_EQ(channel.OpenChannel("127.0.0.1", peer.port(), Slot::MainSlot), kStatusOk);

  for (const char* expected : {"mi1\xC8", "mi3\xC8"}) {
    ReplyBuffer buffer{};
    std::size_t length = 0;
    ASSERT_EQ(channel.Transact(kIdentify.data(), kIdentify.size(), buffer, UntilTerminator,
                               Slot::MainSlot, &length),
              kStatusOk)
        << state.lastError;
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<long>(length)), expected);
  }
}

TEST(CommandChannel, ReportsEachFailedOpeningStep) {
  UnacceptedListener unaccepted;
  const std::uint16_t refusing = RefusingPort();
  struct Case {
    const char* name;
    std::uint32_t localAddress;
    std::uint16_t port;
    const char* error;
  } cases[] = {
      {"refused", Ipv4(127, 0, 0, 1), refusing, "ネットワークエラー:C 10061\r\n"},
      {"never accepted", Ipv4(127, 0, 0, 1), unaccepted.port(), "ネットワークエラー:C 10060\r\n"},
      // An address of no local interface fails in the bind, before any packet.
      {"local address not local", Ipv4(192, 0, 2, 1), refusing, "ネットワークエラー:B 10049\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceState state = LoopbackState();
    state.localAddress = c.localAddress;
    CommandChannel channel(state, kShort);
    const int sockets = OpenSocketCount();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(channel.OpenChannel("127.0.0.1", c.port, Slot::MainSlot), kStatusFail);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(state.lastError, c.error);
    EXPECT_FALSE(channel.IsOpen(Slot::MainSlot));
    EXPECT_EQ(OpenSocketCount(), sockets) << "the failed socket must be closed";
    // Bounded by the channel's own connect time-out, not the product's 10 s.
    EXPECT_LT(elapsed, std::chrono::milliseconds(kShort.connectMs) + 2s);
  }
}

// The device resets the connection before the request: the send fails.
TEST(CommandChannel, ReportsAFailedSend) {
  ScriptedTcpPeer::Options options;
  options.onConnect = {PeerAction::Reset()};
  ScriptedTcpPeer peer(ScriptedTcpPeer::InOrder({}), options);
  DeviceState state = LoopbackState();
  CommandChannel channel(state, kShort);
  ASSERT_EQ(channel.OpenChannel("127.0.0.1", peer.port(), Slot::MainSlot), kStatusOk);
  ASSERT_TRUE(WaitUntil([&] { return peer.accepted() == 1 && peer.open() == 0; }));
  ReplyBuffer buffer{};
  EXPECT_EQ(channel.Transact(kIdentify.data(), kIdentify.size(), buffer, UntilTerminator,
                             Slot::MainSlot),
            kStatusFail);
  EXPECT_EQ(state.lastError, "ネットワークエラー:D 10054\r\n");
}

#ifndef _WIN32
// No descriptor left for the process: the socket cannot be made.
TEST(CommandChannel, ReportsAFailedSocketCreation) {
  DeviceState state = LoopbackState();
  CommandChannel channel(state, kShort);
  const std::uint16_t port = RefusingPort();
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  // The lowest free descriptor becomes the limit, so none is free below it.
  const int lowestFree = dup(0);
  ASSERT_GE(lowestFree, 0);
  close(lowestFree);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  const Status status = channel.OpenChannel("127.0.0.1", port, Slot::MainSlot);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(status, kStatusFail);
  EXPECT_EQ(state.lastError, "ネットワークエラー:S 10024\r\n");
}
#endif

TEST(CommandChannel, ConnectsToAHostNameByItsAddress) {
  ScriptedTcpPeer peer(ScriptedTcpPeer::InOrder({}));
  DeviceState state = LoopbackState();
  CommandChannel channel(state, kShort);
  EXPECT_EQ(channel.OpenChannel("localhost", peer.port(), Slot::MainSlot), kStatusOk)
      << state.lastError;
  EXPECT_TRUE(WaitUntil([&] { return peer.accepted() == 1; }));
}

TEST(CommandChannel, ConfigPortExchangeLeavesOnlyTheMainConnectionOpen) {
  const Bytes dump = Text("MODE=0\r\nEND\r\n\r\n");
  ScriptedTcpPeer main(ScriptedTcpPeer::InOrder({}));
  ScriptedTcpPeer config(ScriptedTcpPeer::InOrder({{PeerAction::Send(dump)}}));
  DeviceState state = LoopbackState();
  state.port = main.port();
  CommandChannel channel(state, kShort);
  const int sockets = OpenSocketCount();
  ASSERT_EQ(channel.OpenChannel("127.0.0.1", state.port, Slot::MainSlot), kStatusOk);

  ReplyBuffer buffer{};
  std::size_t length = 0;
  ASSERT_EQ(channel.TransactOnConfigPort("127.0.0.1", config.port(), kDumpQuery.data(),
                                         kDumpQuery.size(), buffer, UntilEndMarker, &length),
            kStatusOk)
      << state.lastError;
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length)), dump);
  EXPECT_EQ(config.requests(), std::vector<Bytes>{kDumpQuery});
  EXPECT_TRUE(channel.IsOpen(Slot::MainSlot));
  EXPECT_FALSE(channel.IsOpen(Slot::ConfigSlot));
  EXPECT_TRUE(WaitUntil([&] { return main.accepted() == 2 && main.open() == 1; }));
  EXPECT_TRUE(WaitUntil([&] { return config.accepted() == 1 && config.open() == 0; }));
  // The reopened main connection and the device's end of it, nothing more.
  EXPECT_EQ(OpenSocketCount(), sockets + 2);
}

TEST(CommandChannel, FailedConfigPortExchangeLeavesNoConnectionOpen) {
  const Bytes dump = Text("MODE=0\r\nEND\r\n\r\n");
  struct Case {
    const char* name;
    bool configListens;
    bool configAnswers;
    bool mainReopens;
    const char* error;
  } cases[] = {
      {"config port refused", false, false, true, "ネットワークエラー:C 10061\r\n"},
      {"config port silent", true, false, true, "ネットワークエラー:R 10060\r\n"},
      {"main port refused on reopening", true, true, false, "ネットワークエラー:C 10061\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedTcpPeer main(ScriptedTcpPeer::InOrder({}));
    ScriptedTcpPeer config(ScriptedTcpPeer::InOrder(
        c.configAnswers ? std::vector<std::vector<PeerAction>>{{PeerAction::Send(dump)}}
                        : std::vector<std::vector<PeerAction>>{}));
    DeviceState state = LoopbackState();
    CommandChannel channel(state, kShort);
    const std::uint16_t refusing = RefusingPort();
    const int sockets = OpenSocketCount();
    ASSERT_EQ(channel.OpenChannel("127.0.0.1", main.port(), Slot::MainSlot), kStatusOk);
    state.port = c.mainReopens ? main.port() : refusing;

    ReplyBuffer buffer{};
    const std::uint16_t configPort = c.configListens ? config.port() : refusing;
    EXPECT_EQ(channel.TransactOnConfigPort("127.0.0.1", configPort, kDumpQuery.data(),
                                           kDumpQuery.size(), buffer, UntilEndMarker),
              kStatusFail);
    EXPECT_EQ(state.lastError, c.error);
    EXPECT_FALSE(channel.IsOpen(Slot::MainSlot));
    EXPECT_FALSE(channel.IsOpen(Slot::ConfigSlot));
    EXPECT_TRUE(WaitUntil([&] { return main.open() == 0 && config.open() == 0; }));
    EXPECT_EQ(OpenSocketCount(), sockets) << "a socket of the channel is left open";
  }
}

}  // namespace
}  // namespace kestrel::net
