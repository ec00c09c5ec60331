#include "net/ReplyCollector.h"

#include <algorithm>

#include "common/Protocol.h"

namespace kestrel::net {

namespace {
constexpr std::array<std::uint8_t, 7> kEndMarker{'E', 'N', 'D', '\r', '\n', '\r', '\n'};
}  // namespace

ReplyCollector::ReplyCollector(ReplyFraming framing, std::array<std::uint8_t, 2> echo,
                               ReplyBuffer& buffer)
    : framing_(framing), echo_(echo), buffer_(buffer) {}

ReplyCollector::Step ReplyCollector::Feed(std::uint8_t byte) {
  if (length_ == buffer_.size()) return Step::LimitExceeded;  // fed after the end: never overrun
  return framing_ == ReplyFraming::UntilEndMarker ? FeedUntilEndMarker(byte)
                                                 : FeedUntilTerminator(byte);
}

ReplyCollector::Step ReplyCollector::FeedUntilEndMarker(std::uint8_t byte) {
  buffer_[length_++] = byte;
  if (length_ >= kEndMarker.size() &&
      std::equal(kEndMarker.begin(), kEndMarker.end(), buffer_.begin() + (length_ - kEndMarker.size())))
    return Step::Complete;
  return length_ == buffer_.size() ? Step::LimitExceeded : Step::NeedMore;
}

// A frame ends at every terminator byte. A frame that does not echo the
// request (a late reply to an earlier command, say) is dropped and the next
// byte starts a new frame at index 0, so the limit counts one frame only.
ReplyCollector::Step ReplyCollector::FeedUntilTerminator(std::uint8_t byte) {
  buffer_[length_++] = byte;
  if (byte == protocol::kCommandTerminator) {
    // A one-byte frame has no second echo byte to compare.
    if (length_ >= 2 && buffer_[0] == echo_[0] && buffer_[1] == echo_[1]) return Step::Complete;
    length_ = 0;
    ++droppedFrames_;
    return Step::NeedMore;
  }
  return length_ == buffer_.size() ? Step::LimitExceeded : Step::NeedMore;
}

std::array<std::uint8_t, 2> EchoOfRequest(const std::uint8_t* request, std::size_t length) {
  std::array<std::uint8_t, 2> echo{};
  for (std::size_t k = 0; k < echo.size(); ++k) {
    const std::uint8_t b = k < length ? request[k] : 0;
    echo[k] = static_cast<std::uint8_t>(b + protocol::kEchoOffset);
  }
  return echo;
}

}  // namespace kestrel::net
