#pragma once
// Answers to the discovery datagrams on UDP.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::sim {

struct DiscoveryIdentity {
  std::array<char, 2> productCode{};
  std::string text;  // at most 17 bytes
};

// Bytes added beyond the receive buffer by the oversize fault.
inline constexpr std::size_t kOversizeExtra = 16;

// The answer to one datagram, or nothing for datagrams the device does not
// answer (the two-byte companion of the probe, and anything unknown).
//
// Every answer starts 00 00 00 and the query byte plus one, and is exactly as
// long as the receive buffer the tool gives it (30, 124 and 33 bytes):
// - F6: bytes 8 and 9 hold the product code, the rest is zero.
// - F8: bytes 8 and 9 hold the product code again, the rest is zero.
// - F4: bytes 16 to 32 hold the text, NUL-padded (no NUL when it is 17 bytes).
std::optional<std::vector<std::uint8_t>> DiscoveryReply(const std::uint8_t* datagram,
                                                        std::size_t length,
                                                        const DiscoveryIdentity& identity,
                                                        bool oversize);

}  // namespace kestrel::sim
