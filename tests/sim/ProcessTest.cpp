// kestrel-sim as a process: its help, its ready line, its log and its end.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "net/CommandChannel.h"
#include "tests/support/Loopback.h"

extern char** environ;

namespace kestrel {
namespace {

using namespace std::chrono_literals;
using enum net::ReplyFraming;

// The child with its standard output and error on pipes.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    std::vector<std::string> all{KESTREL_SIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(::posix_spawn(&pid_, KESTREL_SIM_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~SimProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
    ::close(err_);
  }

  // The first line on standard output, waiting at most `limit`.
  std::string FirstLine(std::chrono::milliseconds limit = 5000ms) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      char c;
      if (::read(out_, &c, 1) != 1) break;
      line.push_back(c);
    }
    return line.substr(0, line.find('\n'));
  }
  // Everything left on a pipe (the child has ended, so this ends too).
  static std::string Rest(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
  }
  std::string RestOfOutput() { return Rest(out_); }
  std::string Errors() { return Rest(err_); }

  // The exit status, or -1 when the child has not ended within `limit`.
  int Wait(std::chrono::milliseconds limit = 5000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      ::usleep(10'000);
    }
    return -1;
  }
  void Signal(int signal) { ::kill(pid_, signal); }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int out_ = -1;
  int err_ = -1;
};

std::map<std::string, std::string> ReadyFields(const std::string& line) {
  std::map<std::string, std::string> fields;
  std::istringstream words(line.substr(line.find(':') + 1));
  for (std::string word; words >> word;) {
    const std::size_t eq = word.find('=');
    if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
  }
  return fields;
}

TEST(SimProcess, HelpNamesEveryOption) {
  SimProcess sim({"--help"});
  EXPECT_EQ(sim.Wait(), 0);
  const std::string help = sim.RestOfOutput();
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
    SimProcess sim(args);
    EXPECT_EQ(sim.Wait(), 2) << args[0];
    const std::string errors = sim.Errors();
    EXPECT_EQ(errors.rfind("kestrel-sim: ", 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  }
}

TEST(SimProcess, ReadyLineLogAndCleanEnd) {
  SimProcess sim({"--bind", "127.0.4.2", "--port", "0", "--config-port", "0",
                  "--discovery-port", "0", "--verbose"});
  const std::string ready = sim.FirstLine();
  ASSERT_TRUE(std::regex_match(
      ready, std::regex("kestrel-sim ready: address=127\\.0\\.4\\.2 command=[0-9]+ "
                        "config=[0-9]+ discovery=[0-9]+")))
      << ready;
  const auto fields = ReadyFields(ready);
  const int port = std::stoi(fields.at("command"));

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
  const std::string log = sim.Errors();
  const std::string stamp = "[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}";
  EXPECT_TRUE(std::regex_search(log, std::regex(stamp + " client 1 -- connected from 127\\.0\\.4\\.2:[0-9]+\n")))
      << log;
  EXPECT_TRUE(std::regex_search(log, std::regex(stamp + " client 1 <- 50 4A C8\n" + stamp +
                                                " client 1 -> 70 6A 2A 20 C8\n")))
      << log;
}

TEST(SimProcess, EndsOnInterruptWithAClientConnected) {
  SimProcess sim({"--bind", "127.0.4.2", "--port", "0", "--config-port", "0",
                  "--discovery-port", "0"});
  const auto fields = ReadyFields(sim.FirstLine());
  ASSERT_TRUE(fields.count("command"));
  DeviceState state;
  state.localAddress = testing::Ipv4(127, 0, 4, 2);
  net::CommandChannel channel(state, {500, 500, 500, 1000, 10});
  ASSERT_EQ(channel.OpenChannel("127.0.4.2", std::stoi(fields.at("command")), net::Slot::MainSlot),
            kStatusOk);
  sim.Signal(SIGINT);
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_EQ(sim.Errors(), "");  // not verbose: nothing on standard error
}

}  // namespace
}  // namespace kestrel
