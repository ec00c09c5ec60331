#include "tests/support/UdpResponder.h"

#include <chrono>
#include <stdexcept>
#include <string>

#include "net/ErrorNumbers.h"
#include "tests/support/PeerSockets.h"

namespace kestrel::testing {

namespace {

constexpr int kPollMs = 5;
constexpr std::uint32_t kSelfTestWaitUs = 1000000;

net::SocketHandle BoundUdpSocket(std::uint32_t address, std::uint16_t port, std::uint16_t& boundPort) {
  net::SocketHandle s = net::kInvalidSocket;
  net::Endpoint bound;
  int error = net::CreateSocket(net::SocketKind::Datagram, s);
  if (error == 0) error = net::Bind(s, {address, port});
  if (error == 0) error = net::LocalEndpoint(s, bound);
  if (error != 0) {
    net::CloseSocket(s);
    throw std::runtime_error("responder bind: error " + std::to_string(error));
  }
  boundPort = bound.port;
  return s;
}

}  // namespace

UdpResponder::UdpResponder(Handler handler, Options options)
    : handler_(std::move(handler)), options_(options) {
  socket_ = BoundUdpSocket(options_.address, options_.port, port_);
  try {
    otherSocket_ = BoundUdpSocket(options_.address, 0, otherPort_);
  } catch (...) {
    net::CloseSocket(socket_);
    throw;
  }
  answerAddress_ = LearnAnswerAddress();
  thread_ = std::thread([this] { Run(); });
}

UdpResponder::~UdpResponder() {
  Stop();
  net::CloseSocket(socket_);
  net::CloseSocket(otherSocket_);
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

// Sends one datagram from the answering socket to the other one and reads
// where it came from; before the thread starts, so nothing else reads it.
std::uint32_t UdpResponder::LearnAnswerAddress() {
  const std::uint8_t mark = 0;
  net::SendTo(socket_, &mark, sizeof mark, {options_.address, otherPort_});
  bool arrived = false;
  std::uint8_t buffer[1];
  std::size_t n = 0;
  net::Endpoint from;
  if (net::WaitReadable(otherSocket_, kSelfTestWaitUs, arrived) == 0 && arrived &&
      net::ReceiveFrom(otherSocket_, buffer, sizeof buffer, n, from) == 0)
    return from.address;
  return options_.address;
}

void UdpResponder::Run() {
  const std::vector<net::SocketHandle> sockets{socket_, otherSocket_};
  while (!stop_) {
    std::vector<bool> readable;
    if (peer::WaitAnyReadable(sockets, kPollMs, readable) != 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      continue;
    }
    if (readable[0]) Take(socket_, false, true);
    if (readable[1]) Take(otherSocket_, true, true);
  }
}

// Reads every datagram queued on `s` without waiting.
void UdpResponder::Take(net::SocketHandle s, bool other, bool answer) {
  for (int guard = 0; guard < 64; ++guard) {
    bool queued = false;
    if (net::WaitReadable(s, 0, queued) != 0 || !queued) return;
    std::uint8_t buffer[2048];
    std::size_t n = 0;
    net::Endpoint from;
    // A datagram longer than the buffer is kept cut short, as a plain
    // receive would.
    const int error = net::ReceiveFrom(s, buffer, sizeof buffer, n, from);
    if (error != 0 && error != net::kErrMessageTooLong) return;
    Received r{Bytes(buffer, buffer + n), other, from.address, from.port};
    {
      std::lock_guard lock(mutex_);
      received_.push_back(r);
    }
    if (!answer) continue;
    if (const auto reply = handler_(r.bytes)) {
      const net::SocketHandle out = options_.answerFromOtherPort ? otherSocket_ : s;
      net::SendTo(out, reply->data(), reply->size(), from);
    }
  }
}

}  // namespace kestrel::testing
