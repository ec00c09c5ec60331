#pragma once
// The exchanges the protocol's steps are written over: the connection slots
// and their request/reply exchanges, pauses, and the probe's datagrams. The
// steps (connect, identify, reads, mode check, probe) are coroutines over
// this interface, written once. BlockingLink runs them at once over the
// blocking channel (the window and the command line); an event loop runs the
// same steps over non-blocking sockets (the collector).
//
// Failures set DeviceState::lastError as the blocking channel does.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/Status.h"
#include "common/Task.h"
#include "net/CommandChannel.h"
#include "net/ReplyCollector.h"
#include "net/Socket.h"

namespace kestrel::net {

// The probe's datagram socket: one at a time per link.
class ProbePort {
 public:
  // Makes the socket, bound to `localAddress`; a receive below waits at most
  // `receiveMs`. 0 or a socket error number.
  virtual int OpenProbe(std::uint32_t localAddress, std::uint32_t receiveMs) = 0;
  // One datagram; a failed send shows up later as no answer.
  virtual void SendProbe(const std::uint8_t* data, std::size_t length, Endpoint to) = 0;
  // Waits up to `timeoutUs` for something to read; 0 or an error number.
  virtual Task<int> WaitProbeReadable(std::uint32_t timeoutUs, bool& readable) = 0;
  // One datagram, within the receive time-out; 0 or an error number.
  virtual Task<int> ReceiveProbe(std::uint8_t* buffer, std::size_t length, std::size_t& received,
                                 Endpoint& from) = 0;
  virtual void CloseProbe() = 0;
  virtual Task<> Pause(std::uint32_t ms) = 0;

 protected:
  ~ProbePort() = default;
};

class Link : public ProbePort {
 public:
  // As CommandChannel::OpenChannel, Transact and CloseSlot.
  virtual Task<Status> OpenSlot(const std::string& address, std::int32_t port, Slot slot) = 0;
  virtual Task<Status> Transact(const std::uint8_t* request, std::size_t requestLength,
                                ReplyBuffer& reply, ReplyFraming framing, Slot slot,
                                std::size_t* replyLength) = 0;
  virtual void CloseSlot(Slot slot) = 0;
  virtual const ChannelTimeouts& timeouts() const = 0;

 protected:
  ~Link() = default;
};

// Closes the main connection, runs one exchange on `configPort`, closes that
// again and reopens the main connection on state.port, with the channel's
// pause around each close. On failure no connection is left open.
Task<Status> ExchangeOnConfigPort(Link& link, DeviceState& state, const std::string& address,
                                  std::int32_t configPort, const std::uint8_t* request,
                                  std::size_t requestLength, ReplyBuffer& reply,
                                  ReplyFraming framing, std::size_t* replyLength);

}  // namespace kestrel::net
