#include "sim/SimServer.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
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
// How long a listener rests after the process ran out of descriptors.
constexpr milliseconds kAcceptPause{100};

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

bool SimServer::HasConfigPort(const SimConfig& config) {
  return config.devices <= 1 || config.fault(FaultKind::ConfigRefuse).on ||
         (protocol::EncodeModelBytes(config.modelIndex).hasExtended &&
          protocol::FamilyOfExtendedModel(config.modelIndex) == ProtocolFamily::ConfigPort);
}

std::size_t SimServer::IdleDescriptors(const SimConfig& config) {
  std::size_t n = HasConfigPort(config) ? 3 : 2;
  if (config.answerBroadcast) ++n;
  if (config.fault(FaultKind::DiscoveryOtherPort).on) ++n;
  return n;
}

SimServer::SimServer(const SimConfig& config, std::ostream* log, EventLoop* loop)
    : config_(config),
      log_(config.verbose ? log : nullptr, config.logLabel),
      faults_(config.faults),
      device_(config, SimClock::now()),
      ownLoop_(loop == nullptr ? std::make_unique<EventLoop>() : nullptr),
      loop_(loop == nullptr ? *ownLoop_ : *loop) {
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
  if (!loop_.error().empty()) return loop_.error();

  std::string error = config_.answerBroadcast
                          ? OpenSharedUdp(address, config_.discoveryPort, discovery_)
                          : OpenUdp(address, config_.discoveryPort, discovery_);
  // Broadcasts only reach sockets on the wildcard address; the answer still
  // goes out from the device's own address.
  if (error.empty() && config_.answerBroadcast)
    error = OpenSharedUdp(in_addr{INADDR_ANY}, BoundPort(discovery_.get()), broadcast_);
  if (error.empty() && faults_.Armed(FaultKind::DiscoveryOtherPort))
    error = OpenUdp(address, 0, otherDiscovery_);
  if (error.empty()) error = OpenTcp(address, config_.commandPort, true, commandListener_);
  // A refusing configuration port keeps its port bound but does not listen:
  // connections to it are refused until the fault clears.
  const bool hasConfigPort = HasConfigPort(config_);
  configListening_ = hasConfigPort && !faults_.Armed(FaultKind::ConfigRefuse);
  if (error.empty() && hasConfigPort)
    error = OpenTcp(address, config_.configPort, configListening_, configListener_);
  if (!error.empty()) return error;

  discoveryPort_ = BoundPort(discovery_.get());
  if (otherDiscovery_.valid()) otherDiscoveryPort_ = BoundPort(otherDiscovery_.get());
  commandPort_ = BoundPort(commandListener_.get());
  if (configListener_.valid()) configPort_ = BoundPort(configListener_.get());
  configItems_.insert(configItems_.begin() + 4, {"PORT", std::to_string(commandPort_)});
  loop_.Watch(discovery_.get(), EPOLLIN, *this, kDiscoveryToken);
  loop_.Watch(otherDiscovery_.get(), EPOLLIN, *this, kOtherDiscoveryToken);
  loop_.Watch(broadcast_.get(), EPOLLIN, *this, kBroadcastToken);
  loop_.Watch(commandListener_.get(), EPOLLIN, *this, kCommandToken);
  // A socket that does not listen reads as hung up: watched once it listens.
  if (configListening_) loop_.Watch(configListener_.get(), EPOLLIN, *this, kConfigToken);
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

void SimServer::RequestStop() { loop_.RequestStop(); }

void SimServer::Run(int wakeFd) {
  loop_.Run(wakeFd);
  CloseAll();
}

void SimServer::CloseAll() {
  for (auto& [serial, c] : connections_)
    if (!c->dead) Close(*c, "closed: simulator stopping");
  connections_.clear();
  closed_.clear();
}

void SimServer::OnEvent(std::uint64_t token, std::uint32_t events) {
  switch (token) {
    case kDiscoveryToken: OnDiscovery(discovery_.get()); return;
    case kOtherDiscoveryToken: OnDiscovery(otherDiscovery_.get()); return;
    case kBroadcastToken: OnDiscovery(broadcast_.get()); return;
    case kCommandToken: Accept(commandListener_.get(), false); return;
    case kConfigToken: Accept(configListener_.get(), true); return;
    default: break;
  }
  const auto found = connections_.find(token);
  if (found == connections_.end() || found->second->dead) return;
  Connection& c = *found->second;
  if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) OnReadable(c);
  if (!c.dead) FlushAndWait(c);
  Bury();
}

void SimServer::OnTimer(std::uint64_t token) {
  if (token == kCommandToken || token == kConfigToken) {
    loop_.Watch(token == kCommandToken ? commandListener_.get() : configListener_.get(), EPOLLIN,
                *this, token);
    return;
  }
  const auto found = connections_.find(token);
  if (found == connections_.end() || found->second->dead) return;
  FlushAndWait(*found->second);
  Bury();
}

void SimServer::FlushAndWait(Connection& c) {
  const SimClock::time_point now = SimClock::now();
  Flush(c, now);
  if (c.dead) return;
  // Output that is due but did not fit waits for room; output that is not
  // yet due waits for its time.
  const bool blocked = !c.out.empty() && c.out.front().notBefore <= now;
  if (!c.out.empty() && !blocked) loop_.At(c.out.front().notBefore, *this, c.serial);
  if (blocked != c.wantWrite) {
    c.wantWrite = blocked;
    loop_.Change(c.fd.get(), blocked ? EPOLLIN | EPOLLOUT : EPOLLIN);
  }
}

void SimServer::Bury() {
  for (const std::uint64_t serial : closed_) connections_.erase(serial);
  closed_.clear();
}

void SimServer::Accept(int listener, bool config) {
  for (;;) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    UniqueFd fd(::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                          SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd.valid()) {
      // Out of descriptors, the connection stays queued and the listener
      // readable: look again later instead of spinning on it.
      if (errno == EMFILE || errno == ENFILE) {
        log_.Event(config ? "config" : "client", "not accepted: out of descriptors");
        loop_.Forget(listener);
        loop_.At(SimClock::now() + kAcceptPause, *this, config ? kConfigToken : kCommandToken);
      }
      return;  // nothing more waiting (or a transient error)
    }
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
    c->serial = nextSerial_++;
    c->fd = std::move(fd);
    c->config = config;
    c->peer = name;
    log_.Event(name, "connected from " + EndpointText(peer));
    if (!config) {
      // The refusing configuration port opens once the fault's strikes are
      // used up, counted in command connections (one per connection attempt).
      if (configListener_.valid() && !configListening_ && !faults_.Armed(FaultKind::ConfigRefuse)) {
        configListening_ = StartListening(configListener_.get()).empty();
        if (configListening_) {
          log_.Event(name, "configuration port now listening");
          loop_.Watch(configListener_.get(), EPOLLIN, *this, kConfigToken);
        }
      }
      faults_.Strike(FaultKind::ConfigRefuse);
      if (faults_.Strike(FaultKind::Greeting)) {
        log_.Event(name, "fault: greeting");
        c->out.push_back({Bytes(kGreeting.begin(), kGreeting.end()), 0, SimClock::now()});
      }
    }
    Connection& added = *c;
    connections_.emplace(added.serial, std::move(c));
    loop_.Watch(added.fd.get(), EPOLLIN, *this, added.serial);
    FlushAndWait(added);
    Bury();
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
  int sender = fd == broadcast_.get() ? discovery_.get() : fd;
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
  loop_.Forget(c.fd.get());
  c.fd.Reset();
  closed_.push_back(c.serial);
  c.out.clear();
  c.dead = true;
}

}  // namespace kestrel::sim
