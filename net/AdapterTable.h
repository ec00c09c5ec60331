#pragma once
// The table of usable local IPv4 interfaces that every socket binds to.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::net {

inline constexpr std::size_t kAdapterRows = 256;
inline constexpr std::size_t kAdapterTextMax = 255;  // bytes of text, without terminator

struct AdapterEntry {
  std::uint32_t ifIndex = 0;
  std::string description;   // UTF-8, at most 255 bytes
  std::string friendlyName;  // UTF-8, at most 255 bytes; empty when no adapter record matches
  std::uint32_t address = 0; // network byte order
  std::uint32_t mask = 0;    // network byte order
};

struct AdapterTable {
  std::int32_t count = 0;
  std::array<AdapterEntry, kAdapterRows> rows{};
};

// What a platform source reports, before joining and filtering.
struct InterfaceRow {
  std::uint32_t ifIndex = 0;
  std::string description;
  std::uint32_t operStatus = 0;  // 4 connected, 5 operational; others are not usable
  std::uint32_t physAddrLength = 0;
  std::uint64_t speed = 0;       // bits per second, 0 when unknown
};
struct AddressRow {
  std::uint32_t ifIndex = 0;
  std::uint32_t address = 0;  // network byte order
  std::uint32_t mask = 0;     // network byte order
};
struct AdapterRecord {
  std::uint32_t ifIndex = 0;
  std::string friendlyName;  // UTF-8 (converted from the platform's form)
};
struct AdapterSnapshot {
  std::optional<std::vector<InterfaceRow>> interfaces;  // nullopt: table unavailable
  std::optional<std::vector<AddressRow>> addresses;     // nullopt: table unavailable
  std::optional<std::vector<AdapterRecord>> adapters;   // nullopt: the adapter list failed
};

// Joins and filters a snapshot into the table; nullopt means the adapter
// list could not be read and the process must end with exit code 1.
std::optional<AdapterTable> BuildAdapterTable(const AdapterSnapshot& snapshot);

// Reads the platform's interfaces, addresses and adapter names.
AdapterSnapshot ReadPlatformAdapters();

// The list row shown for an entry: "10.77.0.1 (veth0)".
std::string AdapterListText(const AdapterEntry& entry);

// The row that an operator names by its dotted IPv4 address or its friendly
// name; the first row when no name is given. nullptr when nothing matches.
const AdapterEntry* FindAdapterEntry(const AdapterTable& table,
                                     const std::optional<std::string>& name);

}  // namespace kestrel::net
