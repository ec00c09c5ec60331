#pragma once
// Small helpers shared by the loopback test peers and the tests that use them.
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace kestrel::testing {

using Bytes = std::vector<std::uint8_t>;

// An IPv4 address a.b.c.d in network byte order.
std::uint32_t Ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);

// Polls `condition` every millisecond until it holds or `limit` has passed;
// answers whether it held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

}  // namespace kestrel::testing
