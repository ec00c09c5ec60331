// Reply collection in both delimiter framings over an arbitrary byte stream.
// Input: one byte that picks the framing (bit 0), the two request letters,
// then the bytes as the device sends them. Collection restarts after every
// end, as the next exchange on the same connection would.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "common/Protocol.h"
#include "net/ReplyCollector.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using kestrel::net::ReplyBuffer;
using kestrel::net::ReplyCollector;
using kestrel::net::ReplyFraming;
using enum kestrel::net::ReplyFraming;
using Step = ReplyCollector::Step;

constexpr std::array<std::uint8_t, 7> kMarker{'E', 'N', 'D', '\r', '\n', '\r', '\n'};

bool EndsWithMarkerAt(const std::uint8_t* bytes, std::size_t end) {
  return end >= kMarker.size() &&
         std::equal(kMarker.begin(), kMarker.end(), bytes + (end - kMarker.size()));
}

// What the buffer must hold when collection stops at `stream[position - 1]`,
// with `begin` the first byte fed to this collector.
void CheckStop(ReplyFraming framing, std::array<std::uint8_t, 2> echo, Step step,
               const ReplyBuffer& buffer, std::size_t length, const std::uint8_t* stream,
               std::size_t begin, std::size_t position) {
  FUZZ_CHECK(length <= kestrel::net::kReplyLimit);
  FUZZ_CHECK(length <= position - begin);
  // The buffer always holds the latest bytes received, in order.
  FUZZ_CHECK(std::equal(buffer.begin(), buffer.begin() + static_cast<long>(length),
                        stream + (position - length)));
  if (step == Step::LimitExceeded) FUZZ_CHECK(length == kestrel::net::kReplyLimit);

  if (framing == UntilEndMarker) {
    // Every byte since the start is kept, and the first marker ends it.
    FUZZ_CHECK(length == position - begin);
    for (std::size_t end = kMarker.size(); end < length; ++end)
      FUZZ_CHECK(!EndsWithMarkerAt(buffer.data(), end));
    FUZZ_CHECK(EndsWithMarkerAt(buffer.data(), length) == (step == Step::Complete));
    return;
  }
  // A frame never holds a terminator except as its last byte.
  const std::size_t body = step == Step::Complete ? length - 1 : length;
  FUZZ_CHECK(std::find(buffer.begin(), buffer.begin() + static_cast<long>(body),
                       kestrel::protocol::kCommandTerminator) ==
             buffer.begin() + static_cast<long>(body));
  if (step == Step::Complete) {
    FUZZ_CHECK(length >= 2);
    FUZZ_CHECK(buffer[length - 1] == kestrel::protocol::kCommandTerminator);
    FUZZ_CHECK(buffer[0] == echo[0] && buffer[1] == echo[1]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const ReplyFraming framing = (data[0] & 1) != 0 ? UntilTerminator : UntilEndMarker;
  const std::uint8_t request[3] = {data[1], data[2], kestrel::protocol::kCommandTerminator};
  const auto echo = kestrel::net::EchoOfRequest(request, sizeof request);
  const std::uint8_t* stream = data + 3;
  const std::size_t streamSize = size - 3;

  std::size_t position = 0;
  while (position < streamSize) {
    ReplyBuffer buffer;
    buffer.fill(0xA5);  // whatever an earlier reply left
    ReplyCollector collector(framing, echo, buffer);
    const std::size_t begin = position;
    Step step = Step::NeedMore;
    while (position < streamSize && step == Step::NeedMore) step = collector.Feed(stream[position++]);
    CheckStop(framing, echo, step, buffer, collector.length(), stream, begin, position);
    // A careless caller feeding on after the limit must not overrun the buffer.
    if (step == Step::LimitExceeded) {
      FUZZ_CHECK(collector.Feed(0) == Step::LimitExceeded);
      FUZZ_CHECK(collector.length() == kestrel::net::kReplyLimit);
    }
  }
  return 0;
}
