// Joining and filtering of the local adapter table over arbitrary rows, as
// any platform source might report them.
#include <algorithm>
#include <string>

#include "net/AdapterTable.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace kestrel;

constexpr std::uint64_t kExcludedSpeed = 1073741824;
constexpr std::uint32_t kLoopbackHost = 0x0100007F;  // 127.0.0.1 in network byte order

// Small ranges make the joins hit: few distinct indexes, few states.
net::InterfaceRow ReadInterface(fuzz::ByteReader& in) {
  net::InterfaceRow row;
  row.ifIndex = in.Byte() % 8;
  row.operStatus = in.Byte() % 8;
  row.physAddrLength = in.Byte() % 3;
  const std::uint8_t speed = in.Byte();
  row.speed = speed == 0xFF ? kExcludedSpeed : speed;
  row.description = in.Text();
  return row;
}

net::AddressRow ReadAddress(fuzz::ByteReader& in) {
  net::AddressRow row;
  row.ifIndex = in.Byte() % 8;
  row.address = in.Byte() == 0 ? kLoopbackHost : in.Word();
  row.mask = in.Word();
  return row;
}

// Two bytes, most significant first.
std::size_t Count(fuzz::ByteReader& in) {
  const std::size_t high = in.Byte();
  return high << 8 | in.Byte();
}

bool IsValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// A cut text is a prefix of the source, within the limit, and stays UTF-8
// when the source was.
void CheckCut(const std::string& cut, const std::string& source) {
  FUZZ_CHECK(cut.size() <= net::kAdapterTextMax);
  FUZZ_CHECK(source.compare(0, cut.size(), cut) == 0);
  if (IsValidUtf8(source)) FUZZ_CHECK(IsValidUtf8(cut));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::ByteReader in(data, size);
  const std::uint8_t present = in.Byte();
  net::AdapterSnapshot snapshot;
  // Row counts may exceed the table's 256 rows.
  const std::size_t interfaces = Count(in);
  const std::size_t addresses = Count(in);
  const std::size_t adapters = Count(in);
  if ((present & 1) != 0) {
    snapshot.interfaces.emplace();
    for (std::size_t i = 0; i < interfaces && !in.empty(); ++i)
      snapshot.interfaces->push_back(ReadInterface(in));
  }
  if ((present & 2) != 0) {
    snapshot.addresses.emplace();
    for (std::size_t i = 0; i < addresses && !in.empty(); ++i)
      snapshot.addresses->push_back(ReadAddress(in));
  }
  if ((present & 4) != 0) {
    snapshot.adapters.emplace();
    for (std::size_t i = 0; i < adapters && !in.empty(); ++i)
      snapshot.adapters->push_back(net::AdapterRecord{in.Byte() % 8u, in.Text()});
  }

  const std::optional<net::AdapterTable> table = net::BuildAdapterTable(snapshot);
  FUZZ_CHECK(table.has_value() == snapshot.adapters.has_value());
  if (!table) return 0;
  FUZZ_CHECK(table->count >= 0 && static_cast<std::size_t>(table->count) <= net::kAdapterRows);
  if (!snapshot.interfaces || !snapshot.addresses) FUZZ_CHECK(table->count == 0);

  for (std::int32_t r = 0; r < table->count; ++r) {
    const net::AdapterEntry& entry = table->rows[static_cast<std::size_t>(r)];
    FUZZ_CHECK(entry.address != kLoopbackHost);
    FUZZ_CHECK(!entry.description.empty());
    // The row comes from an address of a usable interface with that index.
    const auto usable = std::find_if(
        snapshot.interfaces->begin(), snapshot.interfaces->end(),
        [&](const net::InterfaceRow& row) {
          return row.ifIndex == entry.ifIndex && (row.operStatus == 4 || row.operStatus == 5) &&
                 row.physAddrLength != 0 && row.speed != kExcludedSpeed;
        });
    FUZZ_CHECK(usable != snapshot.interfaces->end());
    CheckCut(entry.description, usable->description);
    const bool fromAddress = std::any_of(
        snapshot.addresses->begin(), snapshot.addresses->end(), [&](const net::AddressRow& row) {
          return row.ifIndex == entry.ifIndex && row.address == entry.address && row.mask == entry.mask;
        });
    FUZZ_CHECK(fromAddress);
    // The name is that of the last adapter record with the index, or empty.
    std::string name;
    for (const net::AdapterRecord& record : *snapshot.adapters)
      if (record.ifIndex == entry.ifIndex) name = record.friendlyName;
    CheckCut(entry.friendlyName, name);
    // A cut backs up at most to the start of one character.
    FUZZ_CHECK(entry.friendlyName.size() + 3 >= std::min(name.size(), net::kAdapterTextMax));
    const std::string row = net::AdapterListText(entry);
    FUZZ_CHECK(row.size() <= 15 + 3 + net::kAdapterTextMax);
  }
  return 0;
}
