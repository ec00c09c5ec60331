#pragma once
// A loopback TCP listener that never accepts and whose queue of pending
// connections is already full, so that a further connect is never completed:
// the way to make a connect time out without leaving the machine.
#include <cstdint>
#include <vector>

#include "net/Socket.h"
#include "tests/support/Loopback.h"

namespace kestrel::testing {

class UnacceptedListener {
 public:
  // Throws std::runtime_error when the queue cannot be filled.
  explicit UnacceptedListener(std::uint32_t address = Ipv4(127, 0, 0, 1));
  ~UnacceptedListener();
  UnacceptedListener(const UnacceptedListener&) = delete;
  UnacceptedListener& operator=(const UnacceptedListener&) = delete;

  std::uint32_t address() const { return address_; }
  std::uint16_t port() const { return port_; }

 private:
  std::uint32_t address_;
  std::uint16_t port_ = 0;
  net::SocketHandle listener_ = net::kInvalidSocket;
  std::vector<net::SocketHandle> fillers_;
};

}  // namespace kestrel::testing
