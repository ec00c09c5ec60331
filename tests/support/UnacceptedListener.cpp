#include "tests/support/UnacceptedListener.h"

#include <stdexcept>
#include <string>

#include "net/ErrorNumbers.h"
#include "tests/support/PeerSockets.h"

namespace kestrel::testing {

namespace {
constexpr int kMaxFillers = 8;
constexpr std::uint32_t kCompletionWaitMs = 100;
}  // namespace

UnacceptedListener::UnacceptedListener(std::uint32_t address) : address_(address) {
  // Backlog 0: the smallest queue the system allows, filled by one or two
  // connections.
  net::Endpoint bound;
  int error = net::CreateSocket(net::SocketKind::Stream, listener_);
  if (error == 0) error = net::Bind(listener_, {address, 0});
  if (error == 0) error = peer::Listen(listener_, 0);
  if (error == 0) error = net::LocalEndpoint(listener_, bound);
  if (error != 0) {
    net::CloseSocket(listener_);
    throw std::runtime_error("unaccepted listener: cannot listen, error " + std::to_string(error));
  }
  port_ = bound.port;

  // Connect until one attempt is left hanging: from then on the queue is full.
  for (int k = 0; k < kMaxFillers; ++k) {
    net::SocketHandle s = net::kInvalidSocket;
    if (net::CreateSocket(net::SocketKind::Stream, s) != 0) break;
    if (net::ConnectWithin(s, bound, kCompletionWaitMs, error)) {
      fillers_.push_back(s);
      continue;
    }
    net::CloseSocket(s);
    if (error == net::kErrTimedOut) return;
    // A system that refuses connections to a full queue cannot leave a
    // connect hanging this way.
    break;
  }
  for (net::SocketHandle s : fillers_) net::CloseSocket(s);
  net::CloseSocket(listener_);
  throw std::runtime_error("unaccepted listener: the queue never left a connect hanging");
}

UnacceptedListener::~UnacceptedListener() {
  for (net::SocketHandle s : fillers_) net::CloseSocket(s);
  net::CloseSocket(listener_);
}

}  // namespace kestrel::testing
