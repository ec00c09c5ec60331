// Connecting and disconnecting, and failing to connect, many times in a row
// leaves the process with the descriptors and the heap it started with: every
// socket of every path (probe, main and configuration connections) is closed
// and nothing accumulates.
#include <dirent.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <fstream>
#include <functional>
#include <string>

#include "tests/faults/FaultTool.h"

namespace kestrel::testing {
namespace {

constexpr int kCycles = 200;

int OpenDescriptors() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (::readdir(dir) != nullptr) ++count;
  ::closedir(dir);
  return count;  // the same "." and ".." and the directory's own every time
}

// Bytes the heap has handed out and not had back.
std::size_t HeapInUse() { return mallinfo2().uordblks; }

constexpr bool kHeapIsMeasurable =
#if defined(__SANITIZE_ADDRESS__)
    false;  // the sanitizer's allocator reports no heap figures; its leak check runs at exit
#else
    true;
#endif

// The pauses shortened, the time-outs left with room for a loaded machine.
net::ChannelTimeouts Timeouts(std::uint32_t receiveMs = ShortChannelTimeouts().receiveMs) {
  net::ChannelTimeouts t = ShortChannelTimeouts();
  t.slotPauseMs = 1;
  t.receiveMs = receiveMs;
  return t;
}

net::ProbeSettings Probe(std::uint32_t replyWaitMs = ShortProbeSettings().replyWaitMs) {
  net::ProbeSettings p = ShortProbeSettings();
  p.pauseMs = 1;
  p.replyWaitMs = replyWaitMs;
  return p;
}

// One attempt: what it does and what it must end in.
struct Attempt {
  const char* name;
  std::function<bool()> run;
};

TEST(ConnectCycles, DescriptorsAndHeapReturnToTheirStartingLevel) {
  SimProcess healthy(kFaultSimAddress, {});
  SimProcess spontaneous("127.0.7.4", {"--model", "25", "--mode", "1"});
  SimProcess mute("127.0.7.5", {"--no-reply=MI"});
  SimProcess silent("127.0.7.6", {"--discovery-silent"});
  ASSERT_TRUE(healthy.ready() && spontaneous.ready() && mute.ready() && silent.ready());

  // Only the waits that run out every time (no reply, no discovery answer)
  // are short.
  FaultTool good(healthy, Timeouts(), Probe());
  FaultTool refusedMode(spontaneous, Timeouts(), Probe());
  FaultTool noReply(mute, Timeouts(20), Probe());
  FaultTool notFound(silent, Timeouts(), Probe(10));
  // The healthy device's discovery answers, but nothing listens on port 1.
  const std::string closedPort = "1";

  const Attempt success{"connect, read, disconnect", [&] {
                          const bool ok = good.Connect() == device::ConnectResult::Connected &&
                                          Succeeded(good.ReadAllCounts());
                          good.Disconnect();
                          return ok && !good.channel.IsOpen(net::Slot::MainSlot);
                        }};
  // Each cycle fails one way, in turn.
  const std::vector<Attempt> failures{
      {"connection refused", [&] { return good.Connect(closedPort) == device::ConnectResult::Failed; }},
      {"spontaneous mode", [&] { return refusedMode.Connect() == device::ConnectResult::Refused; }},
      {"no reply", [&] { return noReply.Connect() == device::ConnectResult::Failed; }},
      {"no discovery answer", [&] { return notFound.Connect() == device::ConnectResult::Failed; }},
  };
  auto runAll = [&](int cycles) {
    for (int i = 0; i < cycles; ++i) {
      const Attempt& failure = failures[static_cast<std::size_t>(i) % failures.size()];
      ASSERT_TRUE(success.run()) << success.name << " (cycle " << i << ") "
                                 << ::testing::PrintToString(good.frontEnd.messages);
      ASSERT_TRUE(failure.run()) << failure.name << " (cycle " << i << ")";
      // Messages pile up in the recording ports only; the product shows and forgets them.
      for (FaultTool* t : {&good, &refusedMode, &noReply, &notFound}) {
        t->frontEnd.messages.clear();
        t->frontEnd.events.clear();
      }
    }
  };

  runAll(8);  // first-use allocations (resolver, error texts) are made here
  const int descriptorsBefore = OpenDescriptors();
  const std::size_t heapBefore = HeapInUse();
  runAll(kCycles);
  ASSERT_FALSE(HasFatalFailure());

  EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
  if (kHeapIsMeasurable) {
    // A few bytes may move with text capacities; a leak per cycle would be
    // hundreds of cycles times its size.
    EXPECT_LE(HeapInUse(), heapBefore + 4096) << "heap grew from " << heapBefore;
  }
  // The simulators saw every connection closed again.
  for (const SimProcess* sim : {&healthy, &spontaneous, &mute}) {
    EXPECT_TRUE(sim->AllConnectionsClosed()) << sim->address();
  }
}

}  // namespace
}  // namespace kestrel::testing
