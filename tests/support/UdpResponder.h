#pragma once
// A device stand-in for the UDP probe: listens on a loopback address and
// answers each datagram as its handler says, optionally from a second socket
// on another port. Runs on its own thread until Stop() or destruction.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "net/Socket.h"
#include "tests/support/Loopback.h"

namespace kestrel::testing {

class UdpResponder {
 public:
  // The answer to one datagram; nullopt means no answer.
  using Handler = std::function<std::optional<Bytes>(const Bytes& datagram)>;

  struct Options {
    std::uint32_t address = Ipv4(127, 0, 0, 1);
    std::uint16_t port = 0;  // 0: the kernel chooses
    // Answer from the second socket (another port) instead of the first.
    bool answerFromOtherPort = false;
  };

  struct Received {
    Bytes bytes;
    bool onOtherPort = false;  // arrived at the second socket
    std::uint32_t fromAddress = 0;  // network byte order
    std::uint16_t fromPort = 0;
  };

  // Throws std::runtime_error when it cannot bind.
  UdpResponder(Handler handler, Options options);
  ~UdpResponder();
  UdpResponder(const UdpResponder&) = delete;
  UdpResponder& operator=(const UdpResponder&) = delete;

  std::uint16_t port() const { return port_; }
  std::uint16_t otherPort() const { return otherPort_; }
  // The source address its answers carry. That is the bound address, except
  // under Wine: there a datagram socket bound to one address of an interface
  // sends from the interface's first address (127.0.0.1 on loopback).
  std::uint32_t answerAddress() const { return answerAddress_; }

  // Stops answering and returns every datagram received, including those
  // still queued, in order of arrival per socket.
  std::vector<Received> Stop();

 private:
  void Run();
  void Take(net::SocketHandle s, bool other, bool answer);
  std::uint32_t LearnAnswerAddress();

  Handler handler_;
  Options options_;
  net::SocketHandle socket_ = net::kInvalidSocket;
  net::SocketHandle otherSocket_ = net::kInvalidSocket;
  std::uint16_t port_ = 0;
  std::uint16_t otherPort_ = 0;
  std::uint32_t answerAddress_ = 0;
  std::mutex mutex_;
  std::vector<Received> received_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace kestrel::testing
