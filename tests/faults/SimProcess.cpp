#include "tests/faults/SimProcess.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

extern char** environ;

namespace kestrel::testing {

namespace {

using Clock = std::chrono::steady_clock;

// The first line on `fd`, waiting until `deadline` at most.
std::string ReadLine(int fd, Clock::time_point deadline) {
  std::string line;
  while (Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char c = 0;
    if (::read(fd, &c, 1) != 1 || c == '\n') break;
    line.push_back(c);
  }
  return line;
}

std::uint16_t PortIn(const std::string& line, const std::string& name) {
  std::smatch m;
  if (!std::regex_search(line, m, std::regex(" " + name + "=([0-9]+)"))) return 0;
  return static_cast<std::uint16_t>(std::stoi(m[1]));
}

}  // namespace

SimProcess::SimProcess(const std::string& simPath, const std::string& address,
                       const std::vector<std::string>& options, bool verbose)
    : address_(address) {
  char logTemplate[] = "/tmp/kestrel-sim-log.XXXXXX";
  const int logFd = ::mkstemp(logTemplate);
  if (logFd < 0) return;
  logPath_ = logTemplate;
  int out[2];
  if (::pipe(out) != 0) {
    ::close(logFd);
    return;
  }

  std::vector<std::string> args{simPath,         "--bind", address,         "--port", "0",
                                "--config-port", "0",      "--discovery-port", "0"};
  if (verbose) args.push_back("--verbose");
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, logFd, 2);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const int spawned = ::posix_spawn(&pid_, simPath.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(logFd);
  if (spawned != 0) {
    pid_ = -1;
    ::close(out[0]);
    return;
  }

  const std::string line = ReadLine(out[0], Clock::now() + std::chrono::seconds(5));
  ::close(out[0]);
  ports_ = {PortIn(line, "command"), PortIn(line, "config"), PortIn(line, "discovery")};
  // With answers from another port the ready line names that port too; the
  // queries still go to the discovery port.
  ready_ = line.rfind("kestrel-sim ready:", 0) == 0 && ports_.command != 0;
}

SimProcess::~SimProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    bool ended = false;
    while (!ended && Clock::now() < deadline) {
      ended = ::waitpid(pid_, nullptr, WNOHANG) == pid_;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!ended) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  if (!logPath_.empty()) ::unlink(logPath_.c_str());
}

std::string SimProcess::Log() const {
  std::ifstream in(logPath_);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int SimProcess::CountLogLines(const std::string& text) const {
  std::istringstream log(Log());
  int count = 0;
  for (std::string line; std::getline(log, line);)
    if (line.find(text) != std::string::npos) ++count;
  return count;
}

}  // namespace kestrel::testing
