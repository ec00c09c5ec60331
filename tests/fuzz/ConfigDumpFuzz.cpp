// The configuration dump parse over arbitrary text, both as raw bytes and as
// the channel collects it (up to the end marker or the 4096-byte limit).
#include <string_view>

#include "device/ModeCheck.h"
#include "net/ReplyCollector.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace kestrel;
using enum net::ReplyFraming;

void Parse(const std::uint8_t* text, std::size_t length) {
  const bool refused = device::DumpShowsSpontaneousMode(text, length);
  const std::string_view dump(reinterpret_cast<const char*>(text), length);
  // A refusal needs the pair MODE / 1 as two whole lines.
  if (refused) {
    const std::size_t at = dump.find("MODE\r\n1\r\n");
    FUZZ_CHECK(at != std::string_view::npos);
  }
  // The first name line END ends the parse, whatever follows.
  if (dump.substr(0, 5) == "END\r\n") FUZZ_CHECK(!refused);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Parse(data, size);

  net::ReplyBuffer buffer;
  buffer.fill(0xA5);
  net::ReplyCollector collector(UntilEndMarker, {}, buffer);
  for (std::size_t i = 0; i < size; ++i) {
    const net::ReplyCollector::Step step = collector.Feed(data[i]);
    if (step == net::ReplyCollector::Step::Complete) Parse(buffer.data(), collector.length());
    if (step != net::ReplyCollector::Step::NeedMore) break;
  }
  return 0;
}
