#pragma once
// The exchange interface over the blocking channel and a blocking datagram
// socket: every exchange completes before its await returns, so the steps
// run at once, byte for byte and wait for wait as the channel does them.
#include <cstdint>
#include <string>

#include "net/CommandChannel.h"
#include "net/Link.h"

namespace kestrel::net {

// The probe's socket alone, for a probe without a channel.
class BlockingProbePort : public ProbePort {
 public:
  BlockingProbePort() = default;
  ~BlockingProbePort() { CloseProbe(); }
  BlockingProbePort(const BlockingProbePort&) = delete;
  BlockingProbePort& operator=(const BlockingProbePort&) = delete;

  int OpenProbe(std::uint32_t localAddress, std::uint32_t receiveMs) override;
  void SendProbe(const std::uint8_t* data, std::size_t length, Endpoint to) override;
  Task<int> WaitProbeReadable(std::uint32_t timeoutUs, bool& readable) override;
  Task<int> ReceiveProbe(std::uint8_t* buffer, std::size_t length, std::size_t& received,
                         Endpoint& from) override;
  void CloseProbe() override;
  Task<> Pause(std::uint32_t ms) override;

 private:
  SocketHandle socket_ = kInvalidSocket;
};

class BlockingLink final : public Link {
 public:
  explicit BlockingLink(CommandChannel& channel) : channel_(channel) {}

  Task<Status> OpenSlot(const std::string& address, std::int32_t port, Slot slot) override;
  Task<Status> Transact(const std::uint8_t* request, std::size_t requestLength, ReplyBuffer& reply,
                        ReplyFraming framing, Slot slot, std::size_t* replyLength) override;
  void CloseSlot(Slot slot) override { channel_.CloseSlot(slot); }
  const ChannelTimeouts& timeouts() const override { return channel_.timeouts(); }

  int OpenProbe(std::uint32_t localAddress, std::uint32_t receiveMs) override {
    return probe_.OpenProbe(localAddress, receiveMs);
  }
  void SendProbe(const std::uint8_t* data, std::size_t length, Endpoint to) override {
    probe_.SendProbe(data, length, to);
  }
  Task<int> WaitProbeReadable(std::uint32_t timeoutUs, bool& readable) override {
    return probe_.WaitProbeReadable(timeoutUs, readable);
  }
  Task<int> ReceiveProbe(std::uint8_t* buffer, std::size_t length, std::size_t& received,
                         Endpoint& from) override {
    return probe_.ReceiveProbe(buffer, length, received, from);
  }
  void CloseProbe() override { probe_.CloseProbe(); }
  Task<> Pause(std::uint32_t ms) override { return probe_.Pause(ms); }

 private:
  CommandChannel& channel_;
  BlockingProbePort probe_;
};

}  // namespace kestrel::net
