#include "net/AdapterTable.h"

#include <array>
#include <cstring>
#include <string_view>

#include "net/AddressText.h"

namespace kestrel::net {
namespace {

// Operational states of an interface row that make it usable.
constexpr std::uint32_t kOperConnected = 4;
constexpr std::uint32_t kOperOperational = 5;
// Some virtual adapters report exactly this speed; they are never offered.
constexpr std::uint64_t kExcludedSpeed = 1073741824;
// Longest UTF-8 encoding of one character, in bytes.
constexpr std::size_t kUtf8MaxSequence = 4;

struct UsableInterface {
  std::uint32_t ifIndex;
  std::string description;
};

// Cuts text to at most `limit` bytes, backing up to the start of a character
// so the result stays valid UTF-8 when the input was.
std::string CutUtf8(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return std::string(text);
  std::size_t cut = limit;
  auto isContinuation = [&](std::size_t i) {
    return (static_cast<unsigned char>(text[i]) & 0xC0u) == 0x80u;
  };
  std::size_t backed = 0;
  while (cut > 0 && isContinuation(cut) && backed < kUtf8MaxSequence - 1) {
    --cut;
    ++backed;
  }
  // More continuation bytes than any character has: not UTF-8, cut as bytes.
  if (isContinuation(cut) && backed == kUtf8MaxSequence - 1) cut = limit;
  return std::string(text.substr(0, cut));
}

std::array<unsigned char, 4> AddressBytes(std::uint32_t networkOrder) {
  std::array<unsigned char, 4> bytes{};
  std::memcpy(bytes.data(), &networkOrder, bytes.size());
  return bytes;
}

bool IsUsable(const InterfaceRow& row) {
  const bool up = row.operStatus == kOperConnected || row.operStatus == kOperOperational;
  return up && row.physAddrLength != 0 && row.speed != kExcludedSpeed;
}

std::vector<UsableInterface> UsableInterfaces(const std::vector<InterfaceRow>& rows) {
  std::vector<UsableInterface> usable;
  for (const InterfaceRow& row : rows) {
    if (usable.size() == kAdapterRows) break;
    if (IsUsable(row)) usable.push_back({row.ifIndex, CutUtf8(row.description, kAdapterTextMax)});
  }
  return usable;
}

const UsableInterface* FindInterface(const std::vector<UsableInterface>& usable,
                                     std::uint32_t ifIndex) {
  for (const UsableInterface& entry : usable) {
    if (entry.ifIndex == ifIndex) return &entry;
  }
  return nullptr;
}

// Only the one conventional loopback address is hidden; other 127.x.y.z
// addresses stay selectable so a device simulator on them can be reached.
bool IsLoopbackHost(std::uint32_t networkOrder) {
  return AddressBytes(networkOrder) == std::array<unsigned char, 4>{0x7F, 0x00, 0x00, 0x01};
}

}  // namespace

std::optional<AdapterTable> BuildAdapterTable(const AdapterSnapshot& snapshot) {
  if (!snapshot.adapters) return std::nullopt;

  AdapterTable table;
  std::vector<UsableInterface> usable;
  if (snapshot.interfaces) usable = UsableInterfaces(*snapshot.interfaces);

  if (snapshot.addresses) {
    for (const AddressRow& row : *snapshot.addresses) {
      if (static_cast<std::size_t>(table.count) == kAdapterRows) break;
      if (IsLoopbackHost(row.address)) continue;
      const UsableInterface* match = FindInterface(usable, row.ifIndex);
      if (match == nullptr || match->description.empty()) continue;
      AdapterEntry& entry = table.rows[static_cast<std::size_t>(table.count++)];
      entry = AdapterEntry{row.ifIndex, match->description, {}, row.address, row.mask};
    }
  }

  for (const AdapterRecord& record : *snapshot.adapters) {
    const std::string name = CutUtf8(record.friendlyName, kAdapterTextMax);
    for (std::int32_t i = 0; i < table.count; ++i) {
      AdapterEntry& entry = table.rows[static_cast<std::size_t>(i)];
      if (entry.ifIndex == record.ifIndex) entry.friendlyName = name;
    }
  }
  return table;
}

std::string AdapterListText(const AdapterEntry& entry) {
  return FormatAddress(entry.address) + " (" + entry.friendlyName + ")";
}

const AdapterEntry* FindAdapterEntry(const AdapterTable& table,
                                     const std::optional<std::string>& name) {
  if (table.count <= 0) return nullptr;
  if (!name) return &table.rows[0];
  for (std::int32_t i = 0; i < table.count; ++i) {
    const AdapterEntry& row = table.rows[i];
    if (*name == FormatAddress(row.address) ||
        (!row.friendlyName.empty() && *name == row.friendlyName))
      return &row;
  }
  return nullptr;
}

}  // namespace kestrel::net
