#include "sim/SimSockets.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrel::sim {

namespace {

constexpr int kBacklog = 16;

std::string Failure(const char* step, std::uint16_t port) {
  return std::string(step) + " port " + std::to_string(port) + ": " + std::strerror(errno);
}

std::string OpenBound(int type, const in_addr& address, std::uint16_t port, UniqueFd& out,
                      bool shared = false) {
  UniqueFd fd(::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return Failure("socket for", port);
  const int one = 1;
  // A restarted simulator gets its TCP ports back at once.
  // Shared UDP ports: a socket on the wildcard address beside the ones on
  // device addresses, each getting its copy of a broadcast.
  if (type == SOCK_STREAM || shared) ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr = address;
  local.sin_port = htons(port);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
    return Failure("bind to", port);
  out = std::move(fd);
  return {};
}

}  // namespace

void UniqueFd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string OpenUdp(const in_addr& address, std::uint16_t port, UniqueFd& out) {
  return OpenBound(SOCK_DGRAM, address, port, out);
}

std::string OpenSharedUdp(const in_addr& address, std::uint16_t port, UniqueFd& out) {
  return OpenBound(SOCK_DGRAM, address, port, out, true);
}

std::string OpenTcp(const in_addr& address, std::uint16_t port, bool listen, UniqueFd& out) {
  if (std::string error = OpenBound(SOCK_STREAM, address, port, out); !error.empty())
    return error;
  return listen ? StartListening(out.get()) : std::string();
}

std::string StartListening(int fd) {
  if (::listen(fd, kBacklog) != 0) return Failure("listen on", BoundPort(fd));
  return {};
}

std::uint16_t BoundPort(int fd) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

std::string EndpointText(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

}  // namespace kestrel::sim
