#pragma once
// The TCP command channel: two connection slots, request/reply exchanges with
// the device's two reply framings, and the one exchange that must run on the
// configuration port while the main connection is set aside.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/DeviceState.h"
#include "common/Status.h"
#include "net/ReplyCollector.h"
#include "net/Socket.h"

namespace kestrel::net {

enum class Slot : int { MainSlot = 0, ConfigSlot = 1 };

// Time-outs of the channel. The defaults are the product's; tests shorten them.
struct ChannelTimeouts {
  std::uint32_t connectMs = 10000;
  std::uint32_t sendMs = 10000;
  std::uint32_t receiveMs = 10000;
  std::uint32_t drainPollUs = 1000;
  std::uint32_t slotPauseMs = 10;  // pause after closing a slot for the config port
};

// Every failure replaces DeviceState::lastError with one of these texts, and
// lastFailure with its cause, and returns kStatusFail; a success leaves both
// alone.
// Told, on the channel's own thread, of every socket a slot has just made
// and of every one about to be closed: one that wants to end a blocked
// exchange from another thread (shutdown of the socket) knows which socket
// is safe to touch. A channel has none unless given one.
class SocketObserver {
 public:
  virtual void Opened(SocketHandle socket) = 0;
  virtual void Closing(SocketHandle socket) = 0;

 protected:
  ~SocketObserver() = default;
};

class CommandChannel {
 public:
  explicit CommandChannel(DeviceState& state, ChannelTimeouts timeouts = {});
  ~CommandChannel();  // closes what is still open
  CommandChannel(const CommandChannel&) = delete;
  CommandChannel& operator=(const CommandChannel&) = delete;

  // Connects the slot to `address` (dotted IPv4 or a host name) and `port`,
  // bound to state.localAddress, with both time-outs set and stale input
  // discarded. A socket still open in the slot is closed first.
  Status OpenChannel(const std::string& address, std::int32_t port, Slot slot);

  // Sends one request and collects its reply into `reply` from index 0.
  // `replyLength`, when given, receives the number of bytes of the reply (on
  // failure: the bytes of the unfinished frame). The connection stays open.
  // Once a frame with another echo has been dropped, the reply must be
  // complete within the receive time-out from the send, else the exchange
  // fails as timed out: frames for other requests cannot hold it for ever.
  Status Transact(const std::uint8_t* request, std::size_t requestLength, ReplyBuffer& reply,
                  ReplyFraming framing, Slot slot, std::size_t* replyLength = nullptr);

  // Closes the main connection, runs one exchange on `configPort`, closes
  // that again and reopens the main connection on state.port. On failure no
  // connection is left open.
  Status TransactOnConfigPort(const std::string& address, std::int32_t configPort,
                              const std::uint8_t* request, std::size_t requestLength,
                              ReplyBuffer& reply, ReplyFraming framing,
                              std::size_t* replyLength = nullptr);

  // Plain close of a slot's socket (the disconnect workflow uses it).
  void CloseSlot(Slot slot);
  bool IsOpen(Slot slot) const;

  const ChannelTimeouts& timeouts() const { return timeouts_; }
  // `observer` outlives the channel; set before the first connection.
  void SetSocketObserver(SocketObserver* observer) { observer_ = observer; }

 private:
  SocketHandle& handle(Slot slot) { return slots_[static_cast<std::size_t>(slot)]; }
  Status Fail(std::string text, FailureCause cause);
  // The network error text of `letter` and the cause of `errorNumber`.
  Status FailSocket(char letter, FailureStep step, int errorNumber);

  DeviceState& state_;
  ChannelTimeouts timeouts_;
  std::array<SocketHandle, 2> slots_;
  SocketObserver* observer_ = nullptr;
};

// Connects a socket within `timeoutMs`. On failure `errorNumber` is the
// connect error, 10060 when the wait ran out, or 0 when the wait could not be
// set up. The socket is blocking again afterwards.
Status ConnectWithTimeout(SocketHandle socket, Endpoint peer, std::uint32_t timeoutMs,
                          int& errorNumber);

// Throws away whatever has arrived on the socket, waiting at most `pollUs`
// for each next piece; stops at quiet, a closed peer or an error, and after
// `limitMs` at the latest, so that a peer that never stops sending cannot
// hold the caller.
void DrainInput(SocketHandle socket, std::uint32_t pollUs, std::uint32_t limitMs);

}  // namespace kestrel::net
