#pragma once
// The exchange interface over non-blocking sockets of an event loop: the
// same steps as the window's, with the same time-outs, texts and wire
// behaviour, but every wait is a suspension of the device's coroutine.
//
// Replies are read in chunks and fed to the framing. Bytes after a reply's
// end in the same chunk are thrown away at once: the blocking channel leaves
// them in the socket for the next request's quiet wait, which throws them
// away; either way they never count as a reply, and the next request still
// goes out only after a full quiet wait.
#include <array>
#include <cstdint>
#include <string>

#include "collector/EventLoop.h"
#include "net/Link.h"

namespace kestrel::collector {

// Reads of a stream socket go in pieces this large.
inline constexpr std::size_t kReceiveChunk = 512;

class LoopLink final : public net::Link {
 public:
  LoopLink(EventLoop& loop, Waiter& waiter, DeviceState& state, net::ChannelTimeouts timeouts)
      : loop_(loop), waiter_(waiter), state_(state), timeouts_(timeouts) {}
  ~LoopLink();  // closes what is still open
  LoopLink(const LoopLink&) = delete;
  LoopLink& operator=(const LoopLink&) = delete;

  Task<Status> OpenSlot(const std::string& address, std::int32_t port, net::Slot slot) override;
  Task<Status> Transact(const std::uint8_t* request, std::size_t requestLength,
                        net::ReplyBuffer& reply, net::ReplyFraming framing, net::Slot slot,
                        std::size_t* replyLength) override;
  void CloseSlot(net::Slot slot) override;
  const net::ChannelTimeouts& timeouts() const override { return timeouts_; }

  int OpenProbe(std::uint32_t localAddress, std::uint32_t receiveMs) override;
  void SendProbe(const std::uint8_t* data, std::size_t length, net::Endpoint to) override;
  Task<int> WaitProbeReadable(std::uint32_t timeoutUs, bool& readable) override;
  Task<int> ReceiveProbe(std::uint8_t* buffer, std::size_t length, std::size_t& received,
                         net::Endpoint& from) override;
  void CloseProbe() override;
  Task<> Pause(std::uint32_t ms) override;

 private:
  int& slot(net::Slot s) { return slots_[static_cast<std::size_t>(s)]; }
  // Sets lastError and lastFailure as the blocking channel does.
  Status Fail(std::string text, FailureCause cause);
  Status FailSocket(char letter, FailureStep step, int error);
  // Waits until nothing has arrived for the channel's quiet time, throwing
  // away what did arrive (at most for the receive time-out).
  Task<> QuietWait(int fd);
  // Reads and throws away what is there; false when the peer closed or the
  // socket failed.
  bool Discard(int fd);
  void Drained();

  EventLoop& loop_;
  Waiter& waiter_;
  DeviceState& state_;
  const net::ChannelTimeouts timeouts_;
  std::array<int, 2> slots_{-1, -1};
  int probe_ = -1;
  std::uint32_t probeReceiveMs_ = 0;
  std::array<std::uint8_t, kReceiveChunk> chunk_{};
};

}  // namespace kestrel::collector
