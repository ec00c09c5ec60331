// kestrel-sim as a process: its help, its ready line, its log and its end.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "net/CommandChannel.h"
#include "tests/support/Loopback.h"
#include "tests/support/SimProcess.h"

namespace kestrel {
namespace {

using enum net::ReplyFraming;
using testing::SimArguments;
using testing::SimLog;
using testing::SimProcess;

TEST(SimProcess, HelpNamesEveryOption) {
  SimProcess sim(SimArguments{{"--help"}});
  EXPECT_EQ(sim.Wait(), 0);
  const std::string help = sim.Output();
  for (const char* option :
       {"--bind", "--port", "--config-port", "--discovery-port", "--model", "--unit",
        "--product-code", "--text", "--mode", "--period", "--chatter", "--counting", "--gate",
        "--input", "--rate", "--start-count", "--verbose", "--reply-delay", "--no-reply",
        "--stray-frame", "--greeting", "--one-byte-segments", "--endless-reply",
        "--close-after", "--config-refuse", "--config-no-end", "--discovery-silent",
        "--discovery-other-port", "--discovery-oversize", "--help"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(SimProcess, RejectsBadOptionsWithOneLine) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--model", "15"}, {"--rate", "9=1"}, {"--no-reply", "XX"}, {"--bogus"},
           {"--port"}, {"--stray-frame=0"}}) {
    SimProcess sim(SimArguments{args});
    EXPECT_EQ(sim.Wait(), 2) << args[0];
    const std::string errors = sim.Log();
    EXPECT_EQ(errors.rfind("kestrel-sim: ", 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  }
}

TEST(SimProcess, ReadyLineLogAndCleanEnd) {
  SimProcess sim("127.0.4.2");
  const std::string ready = sim.ReadyLine();
  ASSERT_TRUE(std::regex_match(
      ready, std::regex("kestrel-sim ready: address=127\\.0\\.4\\.2 command=[0-9]+ "
                        "config=[0-9]+ discovery=[0-9]+")))
      << ready;
  const int port = sim.ports().command;

  DeviceState state;
  state.localAddress = testing::Ipv4(127, 0, 4, 2);
  {
    net::CommandChannel channel(state, {500, 500, 500, 1000, 10});
    ASSERT_EQ(channel.OpenChannel("127.0.4.2", port, net::Slot::MainSlot), kStatusOk);
    const std::uint8_t request[] = {'P', 'J', 0xC8};
    net::ReplyBuffer reply{};
    EXPECT_EQ(channel.Transact(request, 3, reply, UntilTerminator, net::Slot::MainSlot), kStatusOk);
    // Only the given address listens.
    EXPECT_EQ(channel.OpenChannel("127.0.4.3", port, net::Slot::ConfigSlot), kStatusFail);
    EXPECT_EQ(state.lastError, "ネットワークエラー:C 10061\r\n");
  }

  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
  const std::string log = sim.Log();
  const std::string stamp = "[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}";
  EXPECT_TRUE(std::regex_search(log, std::regex(stamp + " client 1 -- connected from 127\\.0\\.4\\.2:[0-9]+\n")))
      << log;
  EXPECT_TRUE(std::regex_search(log, std::regex(stamp + " client 1 <- 50 4A C8\n" + stamp +
                                                " client 1 -> 70 6A 2A 20 C8\n")))
      << log;
}

TEST(SimProcess, EndsOnInterruptWithAClientConnected) {
  SimProcess sim("127.0.4.2", {}, SimLog::Quiet);
  ASSERT_TRUE(sim.ready());
  DeviceState state;
  state.localAddress = testing::Ipv4(127, 0, 4, 2);
  net::CommandChannel channel(state, {500, 500, 500, 1000, 10});
  ASSERT_EQ(channel.OpenChannel("127.0.4.2", sim.ports().command, net::Slot::MainSlot),
            kStatusOk);
  sim.Signal(SIGINT);
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_EQ(sim.Log(), "");  // not verbose: nothing on standard error
}

}  // namespace
}  // namespace kestrel
