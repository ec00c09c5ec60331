// kestrel-bench-reference: the floor the collector's cost is measured against.
// One thread and one epoll set poll a fleet the way the collector does on the
// wire (one TCP connection per device, the eight count requests one at a
// time, a 1 ms quiet wait before each, the reply read in chunks up to its
// terminator, a fixed-rate slot per device), and nothing else: no records, no
// outputs, no reconnects. It speaks the protocol from common/ alone.
//
//   kestrel-bench-reference --first 10.78.0.1 --devices 1000 --seconds 60
//
// On SIGTERM, SIGINT or after --seconds it prints one line:
//   reference: devices=N connected=C polls=P within_100ms=W failed=F
// SIGUSR1 prints the same line and goes on, so a benchmark can take the
// counts at the end of its warm-up.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include "common/Protocol.h"

namespace {

namespace p = kestrel::protocol;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The collector's wire timings: the quiet wait before each request, the
// longest wait for a reply, and what counts as on time.
constexpr auto kQuietWait = 1ms;
constexpr auto kReplyTimeout = 3s;
constexpr auto kOnTime = 100ms;
constexpr int kInputs = 8;
constexpr std::size_t kReplyLimit = 64;
// "pg", the selector, eight hexadecimal digits, the terminator.
constexpr std::size_t kCountReplyLength = 12;
constexpr std::size_t kReceiveChunk = 4096;
constexpr int kEventsPerWait = 256;
// Longest run when --seconds is not given.
constexpr int kDefaultSeconds = 3600;

enum class Phase { Connecting, Idle, Quiet, Awaiting, Failed };

struct Device {
  int fd = -1;
  Phase phase = Phase::Connecting;
  int input = 0;
  Clock::time_point slot{};
  std::uint64_t generation = 0;  // timers of an earlier step are stale
  std::array<std::uint8_t, kReplyLimit> reply{};
  std::size_t replyLength = 0;
};

struct Timer {
  Clock::time_point when;
  std::size_t device;
  std::uint64_t generation;
  bool operator>(const Timer& other) const { return when > other.when; }
};

struct Options {
  in_addr first{};
  std::uint32_t devices = 0;
  std::uint16_t port = p::kCommandPort;
  std::chrono::milliseconds interval = 1000ms;
  int seconds = kDefaultSeconds;
};

std::optional<Options> ParseArguments(int argc, char** argv) {
  Options o;
  bool haveFirst = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const char* value = argv[i + 1];
    const long number = std::strtol(value, nullptr, 10);
    if (name == "--first") haveFirst = ::inet_pton(AF_INET, value, &o.first) == 1;
    else if (name == "--devices" && number > 0) o.devices = static_cast<std::uint32_t>(number);
    else if (name == "--port" && number > 0 && number < 65536) o.port = static_cast<std::uint16_t>(number);
    else if (name == "--interval-ms" && number > 0) o.interval = std::chrono::milliseconds(number);
    else if (name == "--seconds" && number > 0) o.seconds = static_cast<int>(number);
    else return std::nullopt;
  }
  if (!haveFirst || o.devices == 0 || argc % 2 == 0) return std::nullopt;
  return o;
}

class ReferenceClient {
 public:
  explicit ReferenceClient(const Options& options) : options_(options), devices_(options.devices) {}

  bool Run(int stopFd) {
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0) return false;
    Watch(stopFd, EPOLLIN, kStopMark);
    for (std::size_t i = 0; i < devices_.size(); ++i) Connect(i);
    const Clock::time_point end = Clock::now() + std::chrono::seconds(options_.seconds);
    epoll_event events[kEventsPerWait];
    for (;;) {
      const Clock::time_point now = Clock::now();
      if (now >= end) break;
      RunDueTimers(now);
      const Clock::time_point wake = timers_.empty() ? end : std::min(end, timers_.top().when);
      const auto wait = std::max(Clock::duration::zero(), wake - Clock::now());
      const timespec timeout{static_cast<time_t>(wait / 1s), static_cast<long>((wait % 1s).count())};
      const int n = ::epoll_pwait2(epoll_, events, kEventsPerWait, &timeout, nullptr);
      if (n < 0 && errno != EINTR) break;
      for (int k = 0; k < n; ++k) {
        if (events[k].data.u64 != kStopMark) OnEvent(events[k].data.u64, events[k].events);
        else if (!ReportRequested(stopFd)) return true;
      }
    }
    return true;
  }

  // Reads the pending signal: true for SIGUSR1, after reporting.
  bool ReportRequested(int stopFd) const {
    signalfd_siginfo info{};
    if (::read(stopFd, &info, sizeof info) != static_cast<ssize_t>(sizeof info) ||
        info.ssi_signo != SIGUSR1)
      return false;
    Report();
    std::fflush(stdout);
    return true;
  }

  void Report() const {
    std::uint64_t connected = 0, failed = 0;
    for (const Device& d : devices_) {
      if (d.phase == Phase::Failed) ++failed;
      else if (d.phase != Phase::Connecting) ++connected;
    }
    std::printf("reference: devices=%zu connected=%llu polls=%llu within_100ms=%llu failed=%llu\n",
                devices_.size(), static_cast<unsigned long long>(connected),
                static_cast<unsigned long long>(polls_), static_cast<unsigned long long>(onTime_),
                static_cast<unsigned long long>(failed));
  }

 private:
  static constexpr std::uint64_t kStopMark = ~std::uint64_t{0};

  void Watch(int fd, std::uint32_t events, std::uint64_t mark) {
    epoll_event e{};
    e.events = events;
    e.data.u64 = mark;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e);
  }
  void Change(Device& d, std::size_t i, std::uint32_t events) {
    epoll_event e{};
    e.events = events;
    e.data.u64 = i;
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, d.fd, &e);
  }
  void SetTimer(std::size_t i, Clock::time_point when) { timers_.push({when, i, ++devices_[i].generation}); }

  void Connect(std::size_t i) {
    Device& d = devices_[i];
    d.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(options_.port);
    peer.sin_addr.s_addr = htonl(ntohl(options_.first.s_addr) + static_cast<std::uint32_t>(i));
    if (d.fd < 0 || (::connect(d.fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0 &&
                     errno != EINPROGRESS)) {
      Fail(d);
      return;
    }
    Watch(d.fd, EPOLLOUT, i);
    SetTimer(i, Clock::now() + kReplyTimeout);
  }

  void Fail(Device& d) {
    if (d.fd >= 0) ::close(d.fd);
    d.fd = -1;
    d.phase = Phase::Failed;
    ++d.generation;
  }

  void RunDueTimers(Clock::time_point now) {
    while (!timers_.empty() && timers_.top().when <= now) {
      const Timer t = timers_.top();
      timers_.pop();
      Device& d = devices_[t.device];
      if (t.generation != d.generation) continue;
      switch (d.phase) {
        case Phase::Idle:  // the slot has come: quiet first
          d.phase = Phase::Quiet;
          d.input = 0;
          SetTimer(t.device, now + kQuietWait);
          break;
        case Phase::Quiet: Send(d, t.device); break;
        case Phase::Connecting:
        case Phase::Awaiting: Fail(d); break;  // no answer in time
        case Phase::Failed: break;
      }
    }
  }

  void Send(Device& d, std::size_t i) {
    const std::array<std::uint8_t, 4> request{p::kReadCounter[0], p::kReadCounter[1],
                                              p::InputSelector(d.input), p::kCommandTerminator};
    if (::send(d.fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
      Fail(d);
      return;
    }
    d.phase = Phase::Awaiting;
    d.replyLength = 0;
    SetTimer(i, Clock::now() + kReplyTimeout);
  }

  void OnEvent(std::uint64_t i, std::uint32_t events) {
    Device& d = devices_[i];
    if (d.phase == Phase::Failed) return;
    if (d.phase == Phase::Connecting) {
      int error = 0;
      socklen_t length = sizeof error;
      ::getsockopt(d.fd, SOL_SOCKET, SO_ERROR, &error, &length);
      if (error != 0 || (events & (EPOLLERR | EPOLLHUP)) != 0) {
        Fail(d);
        return;
      }
      Change(d, i, EPOLLIN);
      // Slots spread over one interval, as the collector spreads its start.
      d.phase = Phase::Idle;
      d.slot = Clock::now() + std::uniform_int_distribution<long long>(0, options_.interval.count())(random_) * 1ms;
      SetTimer(i, d.slot);
      return;
    }
    std::uint8_t chunk[kReceiveChunk];
    const ssize_t n = ::recv(d.fd, chunk, sizeof chunk, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
      Fail(d);
      return;
    }
    if (d.phase != Phase::Awaiting) return;  // stray bytes: the quiet wait drains them
    const auto length = static_cast<std::size_t>(n);
    if (d.replyLength + length > d.reply.size()) {
      Fail(d);
      return;
    }
    std::memcpy(d.reply.data() + d.replyLength, chunk, length);
    d.replyLength += length;
    if (d.reply[d.replyLength - 1] != p::kCommandTerminator) return;
    const p::CommandLetters echo = p::EchoOf(p::kReadCounter);
    if (d.replyLength != kCountReplyLength || d.reply[0] != echo[0] || d.reply[1] != echo[1]) {
      Fail(d);
      return;
    }
    const Clock::time_point now = Clock::now();
    if (++d.input < kInputs) {
      d.phase = Phase::Quiet;
      SetTimer(i, now + kQuietWait);
      return;
    }
    ++polls_;
    if (now - d.slot <= kOnTime) ++onTime_;
    d.slot += options_.interval;
    while (d.slot <= now) d.slot += options_.interval;  // overran: the next slot ahead
    d.phase = Phase::Idle;
    SetTimer(i, d.slot);
  }

  Options options_;
  std::vector<Device> devices_;
  std::priority_queue<Timer, std::vector<Timer>, std::greater<>> timers_;
  std::mt19937_64 random_{std::random_device{}()};
  int epoll_ = -1;
  std::uint64_t polls_ = 0;
  std::uint64_t onTime_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = ParseArguments(argc, argv);
  if (!options) {
    std::fprintf(stderr,
                 "usage: kestrel-bench-reference --first ADDRESS --devices N [--port P]"
                 " [--interval-ms MS] [--seconds S]\n");
    return 2;
  }
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGUSR1);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  const int stopFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
  ReferenceClient client(*options);
  if (stopFd < 0 || !client.Run(stopFd)) {
    std::perror("kestrel-bench-reference");
    return 1;
  }
  client.Report();
  return 0;
}
