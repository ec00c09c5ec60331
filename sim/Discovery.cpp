#include "sim/Discovery.h"

#include <algorithm>

#include "common/Protocol.h"

namespace kestrel::sim {

namespace p = protocol;

std::optional<std::vector<std::uint8_t>> DiscoveryReply(const std::uint8_t* datagram,
                                                        std::size_t length,
                                                        const DiscoveryIdentity& identity,
                                                        bool oversize) {
  auto is = [&](const std::array<std::uint8_t, 4>& query) {
    return length == query.size() && std::equal(query.begin(), query.end(), datagram);
  };
  std::size_t size = 0;
  if (is(p::kProbeQuery)) {
    size = p::kProbeReplyBuffer;
  } else if (is(p::kFollowUpQuery)) {
    size = p::kFollowUpReplyBuffer;
  } else if (is(p::kTextQuery)) {
    size = p::kTextReplyBuffer;
  } else {
    return std::nullopt;
  }
  std::vector<std::uint8_t> reply(size + (oversize ? kOversizeExtra : 0), 0);
  reply[3] = static_cast<std::uint8_t>(datagram[3] + 1);
  if (is(p::kTextQuery)) {
    const std::size_t n = std::min(identity.text.size(), size - p::kTextFieldOffset);
    std::copy_n(identity.text.begin(), n, reply.begin() + p::kTextFieldOffset);
  } else {
    reply[p::kProductCodeOffset] = static_cast<std::uint8_t>(identity.productCode[0]);
    reply[p::kProductCodeOffset + 1] = static_cast<std::uint8_t>(identity.productCode[1]);
  }
  return reply;
}

}  // namespace kestrel::sim
