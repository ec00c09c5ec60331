// The event loop's own parts: the timer heap's order, and exchanges over a
// loop's non-blocking sockets, whose replies arrive in chunks.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "collector/EventLoop.h"
#include "collector/LoopLink.h"
#include "collector/TimerHeap.h"
#include "common/OperatorTexts.h"
#include "tests/support/ScriptedTcpPeer.h"

namespace kestrel::collector {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::PeerAction;
using testing::ScriptedTcpPeer;

TEST(TimerHeap, GivesTheEarliestAfterMovesAndCancels) {
  const LoopClock::time_point t0{};
  std::vector<TimerEntry> entries(6);
  TimerHeap heap;
  for (std::size_t k = 0; k < entries.size(); ++k) heap.Set(entries[k], t0 + 10ms * (k + 1));
  heap.Set(entries[4], t0 + 5ms);   // moved earlier: now first
  heap.Set(entries[0], t0 + 100ms); // moved later: now last
  heap.Cancel(entries[2]);
  heap.Cancel(entries[2]);          // twice is harmless
  std::vector<TimerEntry*> order;
  while (TimerEntry* top = heap.Top()) {
    order.push_back(top);
    heap.Cancel(*top);
  }
  const std::vector<TimerEntry*> expected{&entries[4], &entries[1], &entries[3], &entries[5],
                                          &entries[0]};
  EXPECT_EQ(order, expected);
}

Task<> PauseOnLoop(EventLoop& loop, Waiter& waiter, LoopClock::duration span) {
  co_await loop.Wait(waiter, Interest::None, LoopClock::now() + span);
}

TEST(EventLoop, RunsEveryWaitToItsDeadline) {
  // A device's very first wait (the start spread) counts as much as a later
  // one: all three devices end after their own pause, none at once.
  EventLoop loop;
  const LoopClock::time_point start = LoopClock::now();
  const LoopClock::duration pauses[] = {60ms, 20ms, 40ms};
  Waiter waiters[3];
  std::promise<void> done[3];
  LoopClock::time_point ended[3];
  for (std::size_t k = 0; k < 3; ++k)
    loop.Adopt(k + 1, waiters[k], [&, k] { return PauseOnLoop(loop, waiters[k], pauses[k]); },
               [&, k] {
                 ended[k] = LoopClock::now();
                 done[k].set_value();
               });
  for (std::size_t k = 0; k < 3; ++k) {
    ASSERT_EQ(done[k].get_future().wait_for(5s), std::future_status::ready);
    EXPECT_GE(ended[k] - start, pauses[k]);
  }
  EXPECT_LT(ended[1], ended[2]);
  EXPECT_LT(ended[2], ended[0]);
}

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Bytes kIdentify{'M', 'I', 0xC8};
const Bytes kReply{'m', 'i', 0x3E, 0x31, 0xC8};
constexpr net::ChannelTimeouts kShort{300, 300, 250, 1000, 10};

struct Outcome {
  Status opened = kStatusFail;
  std::vector<Status> statuses;
  std::vector<Bytes> replies;
  std::string error;
};

Task<> Exchanges(EventLoop& loop, Waiter& waiter, std::uint16_t port, int count, Outcome& out) {
  DeviceState state;
  state.localAddress = testing::Ipv4(127, 0, 0, 1);
  LoopLink link(loop, waiter, state, kShort);
  out.opened = co_await link.OpenSlot("127.0.0.1", port, net::Slot::MainSlot);
  for (int k = 0; k < count && Succeeded(out.opened); ++k) {
    net::ReplyBuffer buffer{};
    std::size_t length = 0;
    const Status s = co_await link.Transact(kIdentify.data(), kIdentify.size(), buffer,
                                            net::ReplyFraming::UntilTerminator,
                                            net::Slot::MainSlot, &length);
    out.statuses.push_back(s);
    out.replies.emplace_back(buffer.begin(), buffer.begin() + static_cast<long>(length));
  }
  out.error = state.lastError;
}

// Runs `count` identify exchanges with the peer on a loop of their own.
Outcome ExchangeOnLoop(const ScriptedTcpPeer& peer, int count) {
  Outcome out;
  EventLoop loop;
  Waiter waiter;
  std::promise<void> done;
  loop.Adopt(1, waiter, [&] { return Exchanges(loop, waiter, peer.port(), count, out); },
             [&] { done.set_value(); });
  EXPECT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
  return out;
}

TEST(LoopLink, CollectsRepliesFromChunksAsTheBlockingChannelDoes) {
  struct Case {
    const char* name;
    std::vector<std::vector<PeerAction>> answers;  // one per exchange
    std::vector<Status> statuses;
    std::vector<Bytes> replies;
    std::string error;  // lastError at the end
  };
  const Bytes stray{'p', 'j', 0x2F, 0x24, 0xC8};
  const Bytes second{'m', 'i', 0x3E, 0x32, 0xC8};
  const Case cases[] = {
      {"reply in one chunk", {{PeerAction::Send(kReply)}}, {kStatusOk}, {kReply}, ""},
      {"reply in one-byte segments", {{PeerAction::SendInPieces(kReply, 1)}}, {kStatusOk},
       {kReply}, ""},
      {"stray frame before the reply", {{PeerAction::Send(Join(stray, kReply))}}, {kStatusOk},
       {kReply}, ""},
      // Bytes after the reply's end in the same chunk are never the next
      // request's reply: that one waits for its own.
      {"late bytes after the reply",
       {{PeerAction::Send(Join(kReply, Join(stray, {'m', 'i', 0x00, 0x00, 0xC8})))},
        {PeerAction::Pause(20ms), PeerAction::Send(second)}},
       {kStatusOk, kStatusOk},
       {kReply, second},
       ""},
      {"silent device", {{}}, {kStatusFail}, {{}}, NetworkErrorText('R', 10060)},
      {"peer closes mid-reply", {{PeerAction::Send({'m', 'i'}), PeerAction::Close()}},
       {kStatusFail}, {{'m', 'i'}}, NetworkErrorText('R', 10054)},
      {"4096 bytes without terminator", {{PeerAction::Send(Join({'m', 'i'}, Bytes(4094, 'x')))}},
       {kStatusFail}, {Join({'m', 'i'}, Bytes(4094, 'x'))}, kMsgReplyDataError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedTcpPeer peer(ScriptedTcpPeer::InOrder(c.answers));
    const Outcome out = ExchangeOnLoop(peer, static_cast<int>(c.answers.size()));
    ASSERT_EQ(out.opened, kStatusOk) << out.error;
    EXPECT_EQ(out.statuses, c.statuses);
    EXPECT_EQ(out.replies, c.replies);
    EXPECT_EQ(out.error, c.error);
    EXPECT_EQ(peer.requests(), std::vector<Bytes>(c.answers.size(), kIdentify));
  }
}

}  // namespace
}  // namespace kestrel::collector
