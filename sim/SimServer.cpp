#include "sim/SimServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/ModelTable.h"
#include "sim/Discovery.h"

namespace kestrel::sim {

namespace {

namespace p = protocol;
using std::chrono::milliseconds;

constexpr std::size_t kReceiveChunk = 4096;
constexpr std::size_t kDatagramBuffer = 2048;
// Gap between the bytes of a reply sent one per segment: long enough for each
// to leave as a segment of its own.
constexpr milliseconds kSegmentGap{2};
// An endless reply is cut off after this much: sixteen times any reply limit,
// yet small enough to sit in the connection's buffers at once, so that a
// client draining its input sees all of it and can go on afterwards.
constexpr std::uint64_t kEndlessReplyBytes = 64 * 1024;
constexpr std::size_t kFillerChunk = 16 * 1024;

const Bytes kStrayFrame{0x7A, 0x7A, 0x20, p::kCommandTerminator};
const std::string kGreeting = "KESTREL-SIM\r\n";

std::string CommandName(p::CommandLetters letters) {
  return {static_cast<char>(letters[0]), static_cast<char>(letters[1])};
}

// Filler of an endless reply: digits, never the terminator.
void Fill(std::uint8_t* data, std::size_t length, std::uint64_t position) {
  for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>('0' + (position + i) % 10);
}

}  // namespace

SimServer::SimServer(const SimConfig& config, std::ostream* log)
    : config_(config),
      log_(config.verbose ? log : nullptr),
      faults_(config.faults),
      device_(config, SimClock::now()) {
  const ModelRow& row = ModelRowAt(config.modelIndex);
  configItems_ = {
      {"MODEL", std::to_string(config.modelIndex)},
      {"NAME", row.displayName[0] != '\0' ? row.displayName : "-"},
      {"UNIT", std::to_string(config.unitId)},
      {"ADDRESS", config.bindAddress},
      {"MODE", config.modeValue},
  };
}

SimServer::~SimServer() = default;

std::string SimServer::Open() {
  in_addr address{};
  if (::inet_pton(AF_INET, config_.bindAddress.c_str(), &address) != 1)
    return "not an IPv4 address: " + config_.bindAddress;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) return std::string("pipe: ") + std::strerror(errno);
  stopRead_ = UniqueFd(pipeFds[0]);
  stopWrite_ = UniqueFd(pipeFds[1]);

  std::string error = OpenUdp(address, config_.discoveryPort, discovery_);
  if (error.empty() && faults_.Armed(FaultKind::DiscoveryOtherPort))
    error = OpenUdp(address, 0, otherDiscovery_);
  if (error.empty()) error = OpenTcp(address, config_.commandPort, true, commandListener_);
  // A refusing configuration port keeps its port bound but does not listen:
  // connections to it are refused until the fault clears.
  configListening_ = !faults_.Armed(FaultKind::ConfigRefuse);
  if (error.empty()) error = OpenTcp(address, config_.configPort, configListening_, configListener_);
  if (!error.empty()) return error;

  discoveryPort_ = BoundPort(discovery_.get());
  if (otherDiscovery_.valid()) otherDiscoveryPort_ = BoundPort(otherDiscovery_.get());
  commandPort_ = BoundPort(commandListener_.get());
  configPort_ = BoundPort(configListener_.get());
  configItems_.insert(configItems_.begin() + 4, {"PORT", std::to_string(commandPort_)});
  return {};
}

std::string SimServer::ReadyLine() const {
  std::string line = "kestrel-sim ready: address=" + config_.bindAddress +
                     " command=" + std::to_string(commandPort_) +
                     " config=" + std::to_string(configPort_) +
                     " discovery=" + std::to_string(discoveryPort_);
  if (otherDiscoveryPort_ != 0) line += " other-discovery=" + std::to_string(otherDiscoveryPort_);
  return line;
}

void SimServer::RequestStop() {
  const char byte = 1;
  // A full pipe already holds a stop request, so a failed write loses nothing.
  [[maybe_unused]] const ssize_t n = ::write(stopWrite_.get(), &byte, 1);
}

int SimServer::PollTimeoutMs(SimClock::time_point now) const {
  int timeout = -1;
  for (const auto& c : connections_) {
    if (c->out.empty() || c->out.front().notBefore <= now) continue;
    const auto wait = std::chrono::ceil<milliseconds>(c->out.front().notBefore - now).count();
    const int ms = static_cast<int>(std::min<long long>(wait, 60'000));
    timeout = timeout < 0 ? ms : std::min(timeout, ms);
  }
  return timeout;
}

void SimServer::Run(int wakeFd) {
  std::vector<pollfd> fds;
  std::vector<Connection*> polled;
  for (;;) {
    const SimClock::time_point now = SimClock::now();
    for (auto& c : connections_) {
      if (!c->dead) Flush(*c, now);
    }
    std::erase_if(connections_, [](const auto& c) { return c->dead; });

    fds.clear();
    polled.clear();
    fds.push_back({stopRead_.get(), POLLIN, 0});
    fds.push_back({wakeFd, POLLIN, 0});  // poll skips a negative descriptor
    fds.push_back({discovery_.get(), POLLIN, 0});
    fds.push_back({otherDiscovery_.get(), POLLIN, 0});
    fds.push_back({commandListener_.get(), POLLIN, 0});
    fds.push_back({configListening_ ? configListener_.get() : -1, POLLIN, 0});
    constexpr std::size_t kFixed = 6;
    for (auto& c : connections_) {
      short events = POLLIN;
      if (!c->out.empty() && c->out.front().notBefore <= now) events |= POLLOUT;
      fds.push_back({c->fd.get(), events, 0});
      polled.push_back(c.get());
    }
    if (::poll(fds.data(), fds.size(), PollTimeoutMs(now)) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0 || fds[1].revents != 0) break;
    if (fds[2].revents != 0) OnDiscovery(discovery_.get());
    if (fds[3].revents != 0) OnDiscovery(otherDiscovery_.get());
    if (fds[4].revents != 0) Accept(commandListener_.get(), false);
    if (fds[5].revents != 0) Accept(configListener_.get(), true);
    for (std::size_t i = 0; i < polled.size(); ++i) {
      Connection& c = *polled[i];
      const short revents = fds[kFixed + i].revents;
      if (c.dead || revents == 0) continue;
      if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) OnReadable(c);
    }
  }
  for (auto& c : connections_)
    if (!c->dead) Close(*c, "closed: simulator stopping");
  connections_.clear();
}

void SimServer::Accept(int listener, bool config) {
  for (;;) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    UniqueFd fd(::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                          SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd.valid()) return;  // nothing more waiting (or a transient error)
    const int number = config ? ++configConnectionsSeen_ : ++commandConnectionsSeen_;
    const std::string name = (config ? "config " : "client ") + std::to_string(number);
    if (connections_.size() >= kMaxConnections) {
      log_.Event(name, "refused: too many connections");
      continue;
    }
    const int one = 1;
    // Replies are small and each is awaited: send them without coalescing.
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = std::make_unique<Connection>();
    c->fd = std::move(fd);
    c->config = config;
    c->peer = name;
    log_.Event(name, "connected from " + EndpointText(peer));
    if (!config) {
      // The refusing configuration port opens once the fault's strikes are
      // used up, counted in command connections (one per connection attempt).
      if (!configListening_ && !faults_.Armed(FaultKind::ConfigRefuse)) {
        configListening_ = StartListening(configListener_.get()).empty();
        if (configListening_) log_.Event(name, "configuration port now listening");
      }
      faults_.Strike(FaultKind::ConfigRefuse);
      if (faults_.Strike(FaultKind::Greeting)) {
        log_.Event(name, "fault: greeting");
        c->out.push_back({Bytes(kGreeting.begin(), kGreeting.end()), 0, SimClock::now()});
      }
    }
    connections_.push_back(std::move(c));
  }
}

void SimServer::OnDiscovery(int fd) {
  std::uint8_t buffer[kDatagramBuffer];
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t n =
      ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
  if (n < 0) return;
  const std::string peer = "udp " + EndpointText(from);
  log_.Received(peer, buffer, static_cast<std::size_t>(n));
  const DiscoveryIdentity identity{config_.productCode, config_.text};
  auto reply = DiscoveryReply(buffer, static_cast<std::size_t>(n), identity, false);
  if (!reply) {
    log_.Event(peer, "not answered: not a query");
    return;
  }
  if (faults_.Strike(FaultKind::DiscoverySilent)) {
    log_.Event(peer, "fault: no answer");
    return;
  }
  if (faults_.Strike(FaultKind::DiscoveryOversize)) {
    log_.Event(peer, "fault: oversize answer");
    reply = DiscoveryReply(buffer, static_cast<std::size_t>(n), identity, true);
  }
  int sender = fd;
  if (faults_.Strike(FaultKind::DiscoveryOtherPort)) {
    log_.Event(peer, "fault: answer from port " + std::to_string(otherDiscoveryPort_));
    sender = otherDiscovery_.get();
  }
  log_.Sent(peer, reply->data(), reply->size());
  ::sendto(sender, reply->data(), reply->size(), 0, reinterpret_cast<const sockaddr*>(&from),
           length);
}

void SimServer::OnReadable(Connection& c) {
  std::uint8_t buffer[kReceiveChunk];
  const ssize_t n = ::recv(c.fd.get(), buffer, sizeof buffer, 0);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  if (n <= 0) {
    Close(c, n == 0 ? "closed by peer" : std::string("closed: ") + std::strerror(errno));
    return;
  }
  const SimClock::time_point now = SimClock::now();
  const auto length = static_cast<std::size_t>(n);
  if (c.config) {
    log_.Received(c.peer, buffer, length);
    for (int q = c.queries.Feed(buffer, length); q > 0; --q) OnConfigQuery(c, now);
    return;
  }
  std::vector<Bytes> frames;
  const std::size_t discarded = c.framer.Feed(buffer, length, frames);
  if (discarded != 0)
    log_.Event(c.peer, "discarded " + std::to_string(discarded) + " bytes without terminator");
  for (const Bytes& frame : frames) OnRequest(c, frame, now);
}

void SimServer::OnRequest(Connection& c, const Bytes& frame, SimClock::time_point now) {
  log_.Received(c.peer, frame.data(), frame.size());
  std::optional<Bytes> reply = HandleRequest(device_, frame, now);
  if (!reply) {
    log_.Event(c.peer, "not answered: unknown or malformed request");
    return;
  }
  const p::CommandLetters letters = LettersOf(frame);
  const std::string name = CommandName(letters);
  ++c.commandsHandled;

  std::vector<Outgoing> send;
  if (faults_.Strike(FaultKind::NoReply, letters)) {
    log_.Event(c.peer, "fault: no reply to " + name);
  } else {
    Outgoing answer{std::move(*reply), 0, now};
    if (faults_.Strike(FaultKind::EndlessReply, letters)) {
      log_.Event(c.peer, "fault: endless reply to " + name);
      answer.bytes.resize(2);  // the echo letters, then filler without terminator
      answer.endless = kEndlessReplyBytes;
    } else if (faults_.Strike(FaultKind::OneByteSegments)) {
      log_.Event(c.peer, "fault: one byte per segment");
      answer.oneByte = true;
    }
    if (faults_.Strike(FaultKind::StrayFrame)) {
      log_.Event(c.peer, "fault: stray frame");
      send.push_back({kStrayFrame, 0, now});
    }
    send.push_back(std::move(answer));
    if (faults_.Strike(FaultKind::ReplyDelay)) {
      const std::uint32_t ms = faults_.value(FaultKind::ReplyDelay);
      log_.Event(c.peer, "fault: reply delayed " + std::to_string(ms) + " ms");
      for (Outgoing& o : send) o.notBefore = now + milliseconds(ms);
    }
  }
  if (faults_.Armed(FaultKind::CloseAfter) &&
      c.commandsHandled == faults_.value(FaultKind::CloseAfter) &&
      faults_.Strike(FaultKind::CloseAfter)) {
    log_.Event(c.peer, "fault: closing after " + std::to_string(c.commandsHandled) + " commands");
    if (send.empty()) send.push_back({Bytes{}, 0, now});
    send.back().closeAfter = true;
  }
  for (Outgoing& o : send) c.out.push_back(std::move(o));
}

void SimServer::OnConfigQuery(Connection& c, SimClock::time_point now) {
  const bool withEnd = !faults_.Strike(FaultKind::ConfigNoEnd);
  if (!withEnd) log_.Event(c.peer, "fault: dump without end");
  const std::string dump = BuildConfigDump(configItems_, withEnd);
  c.out.push_back({Bytes(dump.begin(), dump.end()), 0, now});
}

void SimServer::Flush(Connection& c, SimClock::time_point now) {
  while (!c.out.empty() && c.out.front().notBefore <= now) {
    Outgoing& o = c.out.front();
    if (!o.logged) {
      if (!o.bytes.empty()) log_.Sent(c.peer, o.bytes.data(), o.bytes.size());
      o.logged = true;
    }
    if (o.sent < o.bytes.size()) {
      const std::size_t want = o.oneByte ? 1 : o.bytes.size() - o.sent;
      const ssize_t n = ::send(c.fd.get(), o.bytes.data() + o.sent, want, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
          Close(c, std::string("closed: ") + std::strerror(errno));
        return;
      }
      o.sent += static_cast<std::size_t>(n);
      if (o.sent < o.bytes.size()) {
        if (o.oneByte) o.notBefore = now + kSegmentGap;
        continue;
      }
    }
    while (o.endless > 0) {
      std::uint8_t filler[kFillerChunk];
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(o.endless, sizeof filler));
      Fill(filler, want, o.endless);
      const ssize_t n = ::send(c.fd.get(), filler, want, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
          Close(c, std::string("closed: ") + std::strerror(errno));
        return;
      }
      o.endless -= static_cast<std::uint64_t>(n);
    }
    const bool closeAfter = o.closeAfter;
    c.out.pop_front();
    if (closeAfter) {
      Close(c, "closed by fault");
      return;
    }
  }
}

void SimServer::Close(Connection& c, const std::string& why) {
  log_.Event(c.peer, why);
  c.fd.Reset();
  c.out.clear();
  c.dead = true;
}

}  // namespace kestrel::sim
