#pragma once
// The command port's side of the two-letter protocol: cutting the byte stream
// into request frames, and answering one frame.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/SimDevice.h"

namespace kestrel::sim {

using Bytes = std::vector<std::uint8_t>;

// A request frame runs up to and including the terminator 0xC8. Bytes that
// pile up without one (longer than any request can be) are thrown away, so a
// client sending noise cannot make the simulator hold unbounded input.
class RequestFramer {
 public:
  static constexpr std::size_t kMaxPending = 64;

  // Appends `data`; complete frames go to `frames`. Returns how many bytes
  // were thrown away as noise.
  std::size_t Feed(const std::uint8_t* data, std::size_t length, std::vector<Bytes>& frames);

 private:
  Bytes pending_;
};

// The reply to one request frame (terminator included), or nothing: frames
// with an unknown command, the wrong number of parameter bytes, a byte that is
// not a parameter byte, a value out of range, or an input the model does not
// have get no reply, as a device ignores what it does not understand.
std::optional<Bytes> HandleRequest(SimDevice& device, const Bytes& frame,
                                   SimClock::time_point now);

// The command letters of a frame, {0, 0} when it is too short to have any.
protocol::CommandLetters LettersOf(const Bytes& frame);

}  // namespace kestrel::sim
