#include "tests/support/UdpResponder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace kestrel::testing {

namespace {

int BoundUdpSocket(std::uint32_t address, std::uint16_t port, std::uint16_t& boundPort) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = address;
  socklen_t len = sizeof a;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    const std::string why = strerror(errno);
    if (fd >= 0) close(fd);
    throw std::runtime_error("responder bind: " + why);
  }
  boundPort = ntohs(a.sin_port);
  return fd;
}

}  // namespace

UdpResponder::UdpResponder(Handler handler, Options options)
    : handler_(std::move(handler)), options_(options) {
  socket_ = BoundUdpSocket(options_.address, options_.port, port_);
  try {
    otherSocket_ = BoundUdpSocket(options_.address, 0, otherPort_);
  } catch (...) {
    close(socket_);
    throw;
  }
  thread_ = std::thread([this] { Run(); });
}

UdpResponder::~UdpResponder() {
  Stop();
  close(socket_);
  close(otherSocket_);
}

std::vector<UdpResponder::Received> UdpResponder::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    thread_.join();
    // Whatever is still queued arrived before Stop: record it too.
    Take(socket_, false, false);
    Take(otherSocket_, true, false);
  }
  std::lock_guard lock(mutex_);
  return received_;
}

void UdpResponder::Run() {
  while (!stop_) {
    pollfd fds[2] = {{socket_, POLLIN, 0}, {otherSocket_, POLLIN, 0}};
    if (poll(fds, 2, 5) <= 0) continue;
    if (fds[0].revents != 0) Take(socket_, false, true);
    if (fds[1].revents != 0) Take(otherSocket_, true, true);
  }
}

// Reads every datagram queued on `fd` without waiting.
void UdpResponder::Take(int fd, bool other, bool answer) {
  for (int guard = 0; guard < 64; ++guard) {
    std::uint8_t buffer[2048];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return;
    Received r{Bytes(buffer, buffer + n), other, from.sin_addr.s_addr, ntohs(from.sin_port)};
    {
      std::lock_guard lock(mutex_);
      received_.push_back(r);
    }
    if (!answer) continue;
    if (const auto reply = handler_(r.bytes)) {
      const int out = options_.answerFromOtherPort ? otherSocket_ : fd;
      sendto(out, reply->data(), reply->size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
  }
}

}  // namespace kestrel::testing
