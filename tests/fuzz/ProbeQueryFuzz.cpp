// The query string of a /probe request, as anyone who reaches the endpoint
// can send it: the target either reads back as exactly what was asked for, or
// is refused; a network check never reads outside the address.
#include <string>

#include "collector/http/ProbeRequest.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrel::collector;
  const std::string query(reinterpret_cast<const char*>(data), size);
  const std::optional<std::string> value = QueryValue(query, "target");
  if (value) FUZZ_CHECK(value->size() <= query.size());
  const std::string text = value ? *value : query;
  const std::optional<ProbeTarget> target = ParseProbeTarget(text, 10003);
  if (target) {
    FUZZ_CHECK(target->port != 0);
    // One spelling per device: the canonical text is what was asked.
    const std::string again = target->addressText + ":" + std::to_string(target->port);
    FUZZ_CHECK(text == again || text == target->addressText);
    const auto parsed = ParseProbeTarget(again, 1);
    FUZZ_CHECK(parsed && parsed->address == target->address && parsed->port == target->port);
  }
  if (const std::optional<Cidr> cidr = ParseCidr(text)) {
    FUZZ_CHECK((cidr->network & ~cidr->mask) == 0);
    FUZZ_CHECK(cidr->Contains(cidr->network));
    const auto back = ParseCidr(FormatCidr(*cidr));
    FUZZ_CHECK(back && back->network == cidr->network && back->mask == cidr->mask);
  }
  return 0;
}
