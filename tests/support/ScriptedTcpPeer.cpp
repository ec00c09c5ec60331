#include "tests/support/ScriptedTcpPeer.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "tests/support/PeerSockets.h"

namespace kestrel::testing {

struct ScriptedTcpPeer::Connection {
  net::SocketHandle socket = net::kInvalidSocket;
  int index = 0;
  Bytes pending;  // bytes of the request being received
};

namespace {

constexpr int kPollMs = 5;

void SendAll(net::SocketHandle s, const std::uint8_t* data, std::size_t length) {
  while (length > 0) {
    std::size_t sent = 0;
    if (net::Send(s, data, length, sent) != 0 || sent == 0) return;  // the client went away
    data += sent;
    length -= sent;
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
  if (const int error = net::CreateSocket(net::SocketKind::Stream, listener_); error != 0)
    throw std::runtime_error("peer socket: error " + std::to_string(error));
  peer::AllowPortReuse(listener_);
  net::Endpoint bound;
  int error = net::Bind(listener_, {options_.address, options_.port});
  if (error == 0) error = peer::Listen(listener_, 8);
  if (error == 0) error = net::LocalEndpoint(listener_, bound);
  if (error != 0) {
    net::CloseSocket(listener_);
    throw std::runtime_error("peer listen: error " + std::to_string(error));
  }
  port_ = bound.port;
  thread_ = std::thread([this] { Run(); });
}

ScriptedTcpPeer::~ScriptedTcpPeer() {
  stop_ = true;
  thread_.join();
  for (auto& c : connections_) net::CloseSocket(c->socket);
  net::CloseSocket(listener_);
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
    std::vector<net::SocketHandle> sockets{listener_};
    for (auto& c : connections_) sockets.push_back(c->socket);
    std::vector<bool> readable;
    if (peer::WaitAnyReadable(sockets, kPollMs, readable) != 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      continue;
    }
    if (readable[0]) Accept();
    // Walk backwards over the connections that were polled, so that removing
    // one does not shift those still to be visited.
    for (std::size_t k = sockets.size() - 1; k >= 1; --k) {
      if (!readable[k]) continue;
      auto& c = *connections_[k - 1];
      if (!ReadFrom(c)) {
        net::CloseSocket(c.socket);
        connections_.erase(connections_.begin() + static_cast<long>(k - 1));
        --open_;
      }
    }
  }
}

void ScriptedTcpPeer::Accept() {
  net::SocketHandle s = net::kInvalidSocket;
  if (peer::Accept(listener_, s) != 0) return;
  auto c = std::make_unique<Connection>();
  c->socket = s;
  c->index = accepted_++;
  ++open_;
  if (Perform(*c, options_.onConnect)) {
    connections_.push_back(std::move(c));
  } else {
    net::CloseSocket(s);
    --open_;
  }
}

bool ScriptedTcpPeer::ReadFrom(Connection& c) {
  std::uint8_t chunk[512];
  std::size_t n = 0;
  if (net::Receive(c.socket, chunk, sizeof chunk, n) != 0 || n == 0) return false;
  for (std::size_t i = 0; i < n; ++i) {
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
          SendAll(c.socket, a.bytes.data() + at, std::min(piece, a.bytes.size() - at));
        }
        break;
      }
      case PeerAction::Kind::Pause:
        std::this_thread::sleep_for(a.pause);
        break;
      case PeerAction::Kind::Close:
        peer::ShutdownSending(c.socket);
        return false;
      case PeerAction::Kind::Reset:
        peer::ResetOnClose(c.socket);
        return false;
    }
  }
  return true;
}

}  // namespace kestrel::testing
