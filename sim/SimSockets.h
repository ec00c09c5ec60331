#pragma once
// The few POSIX socket steps the simulator's event loop needs: non-blocking
// sockets bound to the one address the simulator was given.
#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace kestrel::sim {

// Owns one file descriptor and closes it.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset();

 private:
  int fd_ = -1;
};

// A non-blocking UDP socket bound to address:port (0 lets the system choose).
// Empty on success, else what failed.
std::string OpenUdp(const in_addr& address, std::uint16_t port, UniqueFd& out);
// The same with SO_REUSEADDR, so that sockets on a device address and on the
// wildcard address can share the port.
std::string OpenSharedUdp(const in_addr& address, std::uint16_t port, UniqueFd& out);
// A non-blocking TCP socket bound to address:port; listening when `listen`.
std::string OpenTcp(const in_addr& address, std::uint16_t port, bool listen, UniqueFd& out);
std::string StartListening(int fd);
std::uint16_t BoundPort(int fd);
std::string EndpointText(const sockaddr_in& address);

}  // namespace kestrel::sim
