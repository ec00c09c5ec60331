#include "net/BlockingLink.h"

#include <chrono>
#include <thread>

namespace kestrel::net {

int BlockingProbePort::OpenProbe(std::uint32_t localAddress, std::uint32_t receiveMs) {
  CloseProbe();
  if (const int e = CreateSocket(SocketKind::Datagram, socket_); e != 0) {
    socket_ = kInvalidSocket;
    return e;
  }
  // Failures of the options and the bind show up as no answer or as a failed
  // receive, so they are not checked here.
  SetBroadcast(socket_, true);
  SetReceiveTimeout(socket_, receiveMs);
  Bind(socket_, {localAddress, 0});
  return 0;
}

void BlockingProbePort::SendProbe(const std::uint8_t* data, std::size_t length, Endpoint to) {
  SendTo(socket_, data, length, to);
}

Task<int> BlockingProbePort::WaitProbeReadable(std::uint32_t timeoutUs, bool& readable) {
  co_return WaitReadable(socket_, timeoutUs, readable);
}

Task<int> BlockingProbePort::ReceiveProbe(std::uint8_t* buffer, std::size_t length,
                                          std::size_t& received, Endpoint& from) {
  co_return ReceiveFrom(socket_, buffer, length, received, from);
}

void BlockingProbePort::CloseProbe() {
  CloseSocket(socket_);
  socket_ = kInvalidSocket;
}

Task<> BlockingProbePort::Pause(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  co_return;
}

Task<Status> BlockingLink::OpenSlot(const std::string& address, std::int32_t port, Slot slot) {
  co_return channel_.OpenChannel(address, port, slot);
}

Task<Status> BlockingLink::Transact(const std::uint8_t* request, std::size_t requestLength,
                                    ReplyBuffer& reply, ReplyFraming framing, Slot slot,
                                    std::size_t* replyLength) {
  co_return channel_.Transact(request, requestLength, reply, framing, slot, replyLength);
}

}  // namespace kestrel::net
