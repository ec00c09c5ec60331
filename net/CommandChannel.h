#pragma once
// The TCP command channel: two connection slots, request/reply exchanges with
// the device's two reply framings, and the one exchange that must run on the
// configuration port while the main connection is set aside.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/DeviceState.h"
#include "device/Status.h"
#include "net/Socket.h"

namespace kestrel {

enum class Slot : int { MainSlot = 0, ConfigSlot = 1 };

// How the end of a reply is recognised.
enum ReplyFraming : std::int32_t {
  UntilEndMarker = -1,   // the reply ends with "END\r\n\r\n"
  UntilTerminator = -2,  // the byte 0xC8 after a frame that echoes the request
};

inline constexpr std::size_t kReplyLimit = 4096;
using ReplyBuffer = std::array<std::uint8_t, kReplyLimit>;

// Time-outs of the channel. The defaults are the product's; tests shorten them.
struct ChannelTimeouts {
  std::uint32_t connectMs = 10000;
  std::uint32_t sendMs = 10000;
  std::uint32_t receiveMs = 10000;
  std::uint32_t drainPollUs = 1000;
  std::uint32_t slotPauseMs = 10;  // pause after closing a slot for the config port
};

class CommandChannel {
 public:
  explicit CommandChannel(DeviceState& state, ChannelTimeouts timeouts = {});
  ~CommandChannel();  // closes what is still open
  CommandChannel(const CommandChannel&) = delete;
  CommandChannel& operator=(const CommandChannel&) = delete;

  Status OpenChannel(const std::string& address, std::int32_t port, Slot slot);

  // Sends one request and collects its reply into `reply` from index 0.
  // `replyLength`, when given, receives the number of bytes of the reply.
  Status Transact(const std::uint8_t* request, std::size_t requestLength, ReplyBuffer& reply,
                  std::int32_t framing, Slot slot, std::size_t* replyLength = nullptr);

  Status TransactOnConfigPort(const std::string& address, std::int32_t configPort,
                              const std::uint8_t* request, std::size_t requestLength,
                              ReplyBuffer& reply, std::int32_t framing,
                              std::size_t* replyLength = nullptr);

  // Plain close of a slot's socket (the disconnect workflow uses it).
  void CloseSlot(Slot slot);
  bool IsOpen(Slot slot) const;

  const ChannelTimeouts& timeouts() const { return timeouts_; }

 private:
  DeviceState& state_;
  ChannelTimeouts timeouts_;
  std::array<net::SocketHandle, 2> slots_;
};

}  // namespace kestrel
