#include "tests/support/ScriptedTcpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace kestrel::testing {

struct ScriptedTcpPeer::Connection {
  int fd = -1;
  int index = 0;
  Bytes pending;  // bytes of the request being received
};

namespace {

constexpr int kPollMs = 5;

void SendAll(int fd, const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    const ssize_t n = send(fd, data, length, MSG_NOSIGNAL);
    if (n <= 0) return;  // the client went away; nothing more to do
    data += n;
    length -= static_cast<std::size_t>(n);
  }
}

bool EndsWith(const Bytes& bytes, const Bytes& suffix) {
  return !suffix.empty() && bytes.size() >= suffix.size() &&
         std::equal(suffix.begin(), suffix.end(), bytes.end() - static_cast<long>(suffix.size()));
}

}  // namespace

ScriptedTcpPeer::ScriptedTcpPeer(Handler handler) : ScriptedTcpPeer(std::move(handler), Options{}) {}

ScriptedTcpPeer::ScriptedTcpPeer(Handler handler, Options options)
    : handler_(std::move(handler)), options_(std::move(options)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("peer socket: " + std::string(strerror(errno)));
  const int one = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(options_.port);
  a.sin_addr.s_addr = options_.address;
  socklen_t len = sizeof a;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 8) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    const std::string why = strerror(errno);
    close(listener_);
    throw std::runtime_error("peer listen: " + why);
  }
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Run(); });
}

ScriptedTcpPeer::~ScriptedTcpPeer() {
  stop_ = true;
  thread_.join();
  for (auto& c : connections_) close(c->fd);
  close(listener_);
}

ScriptedTcpPeer::Handler ScriptedTcpPeer::InOrder(std::vector<std::vector<PeerAction>> answers) {
  auto queue = std::make_shared<std::vector<std::vector<PeerAction>>>(std::move(answers));
  auto next = std::make_shared<std::size_t>(0);
  return [queue, next](const Bytes&, int) {
    return *next < queue->size() ? (*queue)[(*next)++] : std::vector<PeerAction>{};
  };
}

std::vector<Bytes> ScriptedTcpPeer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void ScriptedTcpPeer::Run() {
  while (!stop_) {
    std::vector<pollfd> fds{{listener_, POLLIN, 0}};
    for (auto& c : connections_) fds.push_back({c->fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), kPollMs) <= 0) continue;
    if (fds[0].revents != 0) Accept();
    // Walk backwards over the connections that were polled, so that removing
    // one does not shift those still to be visited.
    for (std::size_t k = fds.size() - 1; k >= 1; --k) {
      if (fds[k].revents == 0) continue;
      auto& c = *connections_[k - 1];
      if (!ReadFrom(c)) {
        close(c.fd);
        connections_.erase(connections_.begin() + static_cast<long>(k - 1));
        --open_;
      }
    }
  }
}

void ScriptedTcpPeer::Accept() {
  const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  auto c = std::make_unique<Connection>();
  c->fd = fd;
  c->index = accepted_++;
  ++open_;
  if (Perform(*c, options_.onConnect)) {
    connections_.push_back(std::move(c));
  } else {
    close(fd);
    --open_;
  }
}

bool ScriptedTcpPeer::ReadFrom(Connection& c) {
  std::uint8_t chunk[512];
  const ssize_t n = recv(c.fd, chunk, sizeof chunk, 0);
  if (n <= 0) return false;
  for (ssize_t i = 0; i < n; ++i) {
    c.pending.push_back(chunk[i]);
    const bool ended = std::any_of(options_.requestEnds.begin(), options_.requestEnds.end(),
                                   [&](const Bytes& end) { return EndsWith(c.pending, end); });
    if (!ended) continue;
    Bytes request;
    request.swap(c.pending);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    if (!Perform(c, handler_(request, c.index))) return false;
  }
  return true;
}

bool ScriptedTcpPeer::Perform(Connection& c, const std::vector<PeerAction>& actions) {
  for (const PeerAction& a : actions) {
    switch (a.kind) {
      case PeerAction::Kind::Send: {
        const std::size_t piece = a.segmentSize == 0 ? a.bytes.size() : a.segmentSize;
        for (std::size_t at = 0; at < a.bytes.size(); at += piece) {
          if (at > 0) std::this_thread::sleep_for(a.pause);
          SendAll(c.fd, a.bytes.data() + at, std::min(piece, a.bytes.size() - at));
        }
        break;
      }
      case PeerAction::Kind::Pause:
        std::this_thread::sleep_for(a.pause);
        break;
      case PeerAction::Kind::Close:
        shutdown(c.fd, SHUT_WR);
        return false;
      case PeerAction::Kind::Reset: {
        const linger abort{1, 0};
        setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        return false;
      }
    }
  }
  return true;
}

}  // namespace kestrel::testing
