#pragma once
// A device stand-in on a loopback TCP port: accepts connections, splits what
// it receives into requests and answers each with scripted actions. It runs on
// its own thread from construction until destruction (a scope guard).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "net/Socket.h"
#include "tests/support/Loopback.h"

namespace kestrel::testing {

struct PeerAction {
  enum class Kind { Send, Pause, Close, Reset };
  Kind kind = Kind::Send;
  Bytes bytes;
  std::size_t segmentSize = 0;  // Send: 0 sends all at once, else pieces of this size
  std::chrono::milliseconds pause{0};  // Pause: how long; Send: between pieces

  static PeerAction Send(Bytes bytes) { return {Kind::Send, std::move(bytes), 0, {}}; }
  // Sends in pieces of `segmentSize` bytes with a short pause between them, so
  // that they leave as separate TCP segments.
  static PeerAction SendInPieces(Bytes bytes, std::size_t segmentSize,
                                 std::chrono::milliseconds between = std::chrono::milliseconds(1)) {
    return {Kind::Send, std::move(bytes), segmentSize, between};
  }
  static PeerAction Pause(std::chrono::milliseconds ms) { return {Kind::Pause, {}, 0, ms}; }
  static PeerAction Close() { return {Kind::Close, {}, 0, {}}; }  // orderly close (FIN)
  static PeerAction Reset() { return {Kind::Reset, {}, 0, {}}; }  // abortive close (RST)
};

class ScriptedTcpPeer {
 public:
  // Called on the peer's thread for every complete request; `connection`
  // counts accepted connections from 0. An empty answer means silence.
  using Handler = std::function<std::vector<PeerAction>(const Bytes& request, int connection)>;

  struct Options {
    std::uint32_t address = Ipv4(127, 0, 0, 1);
    std::uint16_t port = 0;  // 0: the kernel chooses
    std::vector<PeerAction> onConnect;  // run on every accepted connection
    // A request ends where the received bytes end with one of these.
    std::vector<Bytes> requestEnds = {{0xC8}, {'E', 'N', 'D', '\n'}};
  };

  // Throws std::runtime_error when it cannot listen.
  explicit ScriptedTcpPeer(Handler handler);
  ScriptedTcpPeer(Handler handler, Options options);
  ~ScriptedTcpPeer();
  ScriptedTcpPeer(const ScriptedTcpPeer&) = delete;
  ScriptedTcpPeer& operator=(const ScriptedTcpPeer&) = delete;

  // Answers the n-th request (over all connections) with the n-th entry, and
  // later requests with silence.
  static Handler InOrder(std::vector<std::vector<PeerAction>> answers);

  std::uint32_t address() const { return options_.address; }
  std::uint16_t port() const { return port_; }
  std::vector<Bytes> requests() const;
  int accepted() const { return accepted_.load(); }
  // Connections that neither side has closed yet, as far as the peer has seen.
  int open() const { return open_.load(); }

 private:
  struct Connection;
  void Run();
  void Accept();
  // False when the connection is gone afterwards.
  bool ReadFrom(Connection& c);
  bool Perform(Connection& c, const std::vector<PeerAction>& actions);

  Handler handler_;
  Options options_;
  net::SocketHandle listener_ = net::kInvalidSocket;
  std::uint16_t port_ = 0;
  std::vector<std::unique_ptr<Connection>> connections_;  // peer thread only
  mutable std::mutex mutex_;
  std::vector<Bytes> requests_;
  std::atomic<int> accepted_{0};
  std::atomic<int> open_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace kestrel::testing
