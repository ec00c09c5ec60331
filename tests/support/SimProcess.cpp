#include "tests/support/SimProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/support/Loopback.h"

extern char** environ;

namespace kestrel::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPoll{10};

std::uint16_t PortIn(const std::string& line, const std::string& name) {
  std::smatch m;
  if (!std::regex_search(line, m, std::regex(" " + name + "=([0-9]+)"))) return 0;
  return static_cast<std::uint16_t>(std::stoi(m[1]));
}

}  // namespace

SimProcess::SimProcess(const std::string& address, const std::vector<std::string>& options,
                       SimLog log)
    : address_(address) {
  std::vector<std::string> args{"--bind", address, "--port", "0", "--config-port", "0",
                                "--discovery-port", "0"};
  if (log == SimLog::Verbose) args.push_back("--verbose");
  args.insert(args.end(), options.begin(), options.end());
  Spawn(args);

  const auto deadline = Clock::now() + kSimWait;
  while (pid_ > 0 && Output().find('\n') == std::string::npos && !Reaped() &&
         Clock::now() < deadline)
    std::this_thread::sleep_for(kPoll);
  const std::string line = ReadyLine();
  ports_ = {PortIn(line, "command"), PortIn(line, "config"), PortIn(line, "discovery")};
  // With answers from another port the ready line names that port too; the
  // queries still go to the discovery port.
  ready_ = line.rfind("kestrel-sim ready:", 0) == 0 && ports_.command != 0;
}

SimProcess::SimProcess(const SimArguments& arguments) { Spawn(arguments.args); }

SimProcess::~SimProcess() {
  Stop();
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

void SimProcess::Spawn(const std::vector<std::string>& args) {
  std::string folder = (std::filesystem::temp_directory_path() / "kestrel-sim.XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) return;
  folder_ = folder;
  const std::string out = folder_ + "/out";
  const std::string log = folder_ + "/log";

  std::vector<std::string> all{KESTREL_SIM_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (::posix_spawn(&pid_, KESTREL_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0)
    pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
}

bool SimProcess::Reaped() {
  if (pid_ <= 0) return true;
  if (status_ >= 0) return true;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

std::string SimProcess::Read(const char* name) const {
  std::ifstream in(folder_ + "/" + name);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string SimProcess::Output() const { return Read("out"); }

std::string SimProcess::ReadyLine() const {
  const std::string out = Output();
  return out.substr(0, out.find('\n'));
}

std::string SimProcess::Log() const { return Read("log"); }

int SimProcess::CountLogLines(const std::string& text) const {
  std::istringstream log(Log());
  int count = 0;
  for (std::string line; std::getline(log, line);)
    if (line.find(text) != std::string::npos) ++count;
  return count;
}

bool SimProcess::AllConnectionsClosed() const {
  return WaitUntil(
      [&] { return CountLogLines("-- connected from") == CountLogLines("-- closed"); });
}

void SimProcess::Signal(int signal) {
  if (!Reaped()) ::kill(pid_, signal);
}

int SimProcess::Wait(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!Reaped()) {
    if (Clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(kPoll);
  }
  return status_;
}

int SimProcess::Stop() {
  if (pid_ <= 0) return -1;
  Signal(SIGTERM);
  if (Wait(kSimStopGrace) < 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);  // SIGKILL cannot be refused
    status_ = 128 + SIGKILL;
  }
  return status_;
}

}  // namespace kestrel::testing
