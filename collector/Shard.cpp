#include "collector/Shard.h"

#include <charconv>

namespace kestrel::collector {

namespace {

std::optional<std::uint32_t> Number(std::string_view text) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// FNV-1a, 64 bits: fixed by its definition, so every build and machine
// agrees on where a device goes (std::hash promises no such thing).
std::uint64_t Fnv1a(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace

std::optional<Shard> ParseShard(std::string_view text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto index = Number(text.substr(0, slash));
  const auto count = Number(text.substr(slash + 1));
  if (!index || !count || *count < 1 || *count > kMaxShards || *index < 1 || *index > *count)
    return std::nullopt;
  return Shard{*index, *count};
}

bool InShard(const Shard& shard, const std::string& address, std::uint16_t port) {
  const std::string key = address + ":" + std::to_string(port);
  return Fnv1a(key) % shard.count == shard.index - 1;
}

}  // namespace kestrel::collector
