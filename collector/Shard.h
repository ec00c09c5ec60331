#pragma once
// Splitting a fleet between collectors: with --shard I/N each of N collectors
// takes the devices whose address hashes to its share, so together they poll
// every device once, and a device stays with the same collector across
// restarts, rescans and machines (the hash depends on nothing else).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::collector {

struct Shard {
  std::uint32_t index = 1;  // 1 .. count
  std::uint32_t count = 1;
};

inline constexpr std::uint32_t kMaxShards = 1000;

// "I/N" with 1 <= I <= N <= kMaxShards.
std::optional<Shard> ParseShard(std::string_view text);

// Whether the device at `address` (dotted) and `port` belongs to `shard`.
bool InShard(const Shard& shard, const std::string& address, std::uint16_t port);

}  // namespace kestrel::collector
