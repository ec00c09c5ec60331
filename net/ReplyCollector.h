#pragma once
// Recognises the end of a device reply while it arrives one byte at a time.
// It knows nothing about sockets, so it can be driven by any byte source.
#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrel::net {

// How the end of a reply is recognised.
enum class ReplyFraming : std::int32_t {
  UntilEndMarker = -1,   // the reply ends with "END\r\n\r\n"
  UntilTerminator = -2,  // the byte 0xC8 after a frame that echoes the request
};

inline constexpr std::size_t kReplyLimit = 4096;
using ReplyBuffer = std::array<std::uint8_t, kReplyLimit>;

class ReplyCollector {
 public:
  enum class Step {
    NeedMore,       // the reply is not complete yet
    Complete,       // the byte just fed ended the reply
    LimitExceeded,  // the reply filled the buffer without its end
  };

  // `echo` is what a reply to this request starts with (UntilTerminator only):
  // the request's first two bytes plus 32. Bytes go into `buffer` from index 0.
  ReplyCollector(ReplyFraming framing, std::array<std::uint8_t, 2> echo, ReplyBuffer& buffer);

  // Feeds the next received byte. After Complete or LimitExceeded the
  // collector must not be fed again.
  Step Feed(std::uint8_t byte);

  // Bytes of the current frame stored in the buffer.
  std::size_t length() const { return length_; }
  // Frames ended by a terminator but dropped for another echo (a late reply
  // to an earlier request, say).
  std::size_t droppedFrames() const { return droppedFrames_; }

 private:
  Step FeedUntilEndMarker(std::uint8_t byte);
  Step FeedUntilTerminator(std::uint8_t byte);

  ReplyFraming framing_;
  std::array<std::uint8_t, 2> echo_;
  ReplyBuffer& buffer_;
  std::size_t length_ = 0;
  std::size_t droppedFrames_ = 0;
};

// The echo a reply to `request` must start with; bytes missing from a short
// request count as 0.
std::array<std::uint8_t, 2> EchoOfRequest(const std::uint8_t* request, std::size_t length);

}  // namespace kestrel::net
