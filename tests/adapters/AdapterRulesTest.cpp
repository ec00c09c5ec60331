// The joining and filtering rules of the adapter table, over hand-made rows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/AdapterTable.h"

namespace kestrel::net {
namespace {

constexpr std::uint64_t kExcludedSpeed = 1073741824;

std::uint32_t Ip(unsigned a, unsigned b, unsigned c, unsigned d) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                  static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
  std::uint32_t networkOrder = 0;
  std::memcpy(&networkOrder, bytes, sizeof(networkOrder));
  return networkOrder;
}

const std::uint32_t kMask24 = Ip(255, 255, 255, 0);

InterfaceRow Iface(std::uint32_t index, std::string description, std::uint32_t oper = 5,
                   std::uint32_t physLength = 6, std::uint64_t speed = 1000000000) {
  return {index, std::move(description), oper, physLength, speed};
}

AddressRow Addr(std::uint32_t index, std::uint32_t address) { return {index, address, kMask24}; }

std::vector<std::string> ListTexts(const AdapterTable& table) {
  std::vector<std::string> texts;
  for (std::int32_t i = 0; i < table.count; ++i) texts.push_back(AdapterListText(table.rows[i]));
  return texts;
}

struct RuleCase {
  const char* name;
  AdapterSnapshot snapshot;
  std::vector<std::string> expected;
};

class AdapterRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(AdapterRules, ListsTheExpectedRows) {
  const std::optional<AdapterTable> table = BuildAdapterTable(GetParam().snapshot);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(ListTexts(*table), GetParam().expected);
}

const std::vector<AdapterRecord> kNames = {{1, "lo"}, {2, "eth0"}, {3, "eth1"}, {40, "veth0"}};

INSTANTIATE_TEST_SUITE_P(
    Cases, AdapterRules,
    ::testing::Values(
        RuleCase{"OnlyLoopbackHostGivesNothing",
                 {std::vector{Iface(1, "lo")}, std::vector{Addr(1, Ip(127, 0, 0, 1))}, kNames},
                 {}},
        RuleCase{"OtherLoopbackAddressesAreKept",
                 {std::vector{Iface(1, "lo")},
                  std::vector{Addr(1, Ip(127, 0, 0, 1)), Addr(1, Ip(127, 0, 0, 2))}, kNames},
                 {"127.0.0.2 (lo)"}},
        RuleCase{"NoPhysicalAddressIsDropped",
                 {std::vector{Iface(2, "tun", 5, 0), Iface(3, "nic")},
                  std::vector{Addr(2, Ip(10, 0, 0, 1)), Addr(3, Ip(10, 0, 1, 1))}, kNames},
                 {"10.0.1.1 (eth1)"}},
        RuleCase{"ExcludedSpeedIsDroppedOnlyWhenExact",
                 {std::vector{Iface(2, "virt", 5, 6, kExcludedSpeed),
                              Iface(3, "fast", 5, 6, kExcludedSpeed + 1)},
                  std::vector{Addr(2, Ip(10, 0, 0, 1)), Addr(3, Ip(10, 0, 1, 1))}, kNames},
                 {"10.0.1.1 (eth1)"}},
        RuleCase{"OnlyConnectedOrOperationalStatesCount",
                 {std::vector{Iface(1, "a", 2), Iface(2, "b", 4), Iface(3, "c", 5), Iface(40, "d", 6)},
                  std::vector{Addr(1, Ip(10, 0, 0, 1)), Addr(2, Ip(10, 0, 0, 2)),
                              Addr(3, Ip(10, 0, 0, 3)), Addr(40, Ip(10, 0, 0, 4))},
                  kNames},
                 {"10.0.0.2 (eth0)", "10.0.0.3 (eth1)"}},
        RuleCase{"TwoAddressesOnOneInterfaceGiveTwoRowsInAddressOrder",
                 {std::vector{Iface(2, "nic"), Iface(3, "nic2")},
                  std::vector{Addr(3, Ip(10, 0, 1, 1)), Addr(2, Ip(10, 0, 0, 9)),
                              Addr(2, Ip(10, 0, 0, 1))},
                  kNames},
                 {"10.0.1.1 (eth1)", "10.0.0.9 (eth0)", "10.0.0.1 (eth0)"}},
        RuleCase{"SparseHighIndexIsKept",
                 {std::vector{Iface(1, "lo"), Iface(40, "veth")},
                  std::vector{Addr(40, Ip(10, 77, 0, 1))}, kNames},
                 {"10.77.0.1 (veth0)"}},
        RuleCase{"NoAdapterRecordLeavesTheNameEmpty",
                 {std::vector{Iface(7, "nic")}, std::vector{Addr(7, Ip(10, 0, 0, 1))}, kNames},
                 {"10.0.0.1 ()"}},
        RuleCase{"EmptyFriendlyNameIsKeptEmpty",
                 {std::vector{Iface(2, "nic")}, std::vector{Addr(2, Ip(10, 0, 0, 1))},
                  std::vector<AdapterRecord>{{9, ""}, {2, ""}}},
                 {"10.0.0.1 ()"}},
        RuleCase{"LaterRecordOverwrites",
                 {std::vector{Iface(2, "nic")}, std::vector{Addr(2, Ip(10, 0, 0, 1))},
                  std::vector<AdapterRecord>{{2, "first"}, {2, "second"}}},
                 {"10.0.0.1 (second)"}},
        RuleCase{"EmptyDescriptionOrUnknownInterfaceIsDropped",
                 {std::vector{Iface(2, ""), Iface(3, "nic")},
                  std::vector{Addr(2, Ip(10, 0, 0, 1)), Addr(5, Ip(10, 0, 0, 5)),
                              Addr(3, Ip(10, 0, 0, 3))},
                  kNames},
                 {"10.0.0.3 (eth1)"}},
        RuleCase{"FirstMatchingInterfaceRowWins",
                 {std::vector{Iface(2, ""), Iface(2, "second")},
                  std::vector{Addr(2, Ip(10, 0, 0, 1))}, kNames},
                 {}},
        RuleCase{"MissingInterfaceTableGivesNothing",
                 {std::nullopt, std::vector{Addr(2, Ip(10, 0, 0, 1))}, kNames},
                 {}},
        RuleCase{"MissingAddressTableGivesNothing",
                 {std::vector{Iface(2, "nic")}, std::nullopt, kNames},
                 {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AdapterTable, FailedAdapterListEndsTheProcess) {
  const AdapterSnapshot snapshot{std::vector{Iface(2, "nic")},
                                 std::vector{Addr(2, Ip(10, 0, 0, 1))}, std::nullopt};
  EXPECT_FALSE(BuildAdapterTable(snapshot).has_value());
}

TEST(AdapterTable, EntryCarriesTheJoinedFields) {
  const AdapterSnapshot snapshot{std::vector{Iface(40, "veth")},
                                 std::vector{AddressRow{40, Ip(10, 77, 0, 1), Ip(255, 255, 0, 0)}},
                                 kNames};
  const auto table = BuildAdapterTable(snapshot);
  ASSERT_TRUE(table.has_value());
  ASSERT_EQ(table->count, 1);
  const AdapterEntry& entry = table->rows[0];
  EXPECT_EQ(entry.ifIndex, 40u);
  EXPECT_EQ(entry.description, "veth");
  EXPECT_EQ(entry.friendlyName, "veth0");
  EXPECT_EQ(entry.address, Ip(10, 77, 0, 1));
  EXPECT_EQ(entry.mask, Ip(255, 255, 0, 0));
}

TEST(AdapterTable, RowsPastTheTableSizeAreIgnored) {
  // 300 usable interfaces: only the first 256 can be matched.
  AdapterSnapshot beyondInterfaces{std::vector<InterfaceRow>{}, std::vector<AddressRow>{},
                                   std::vector<AdapterRecord>{}};
  for (std::uint32_t i = 1; i <= 300; ++i) beyondInterfaces.interfaces->push_back(Iface(i, "nic"));
  beyondInterfaces.addresses->push_back(Addr(256, Ip(10, 0, 1, 0)));
  beyondInterfaces.addresses->push_back(Addr(257, Ip(10, 0, 1, 1)));
  auto table = BuildAdapterTable(beyondInterfaces);
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(ListTexts(*table), std::vector<std::string>{"10.0.1.0 ()"});

  // 300 addresses on one interface: the first 256 fill the table.
  AdapterSnapshot beyondAddresses{std::vector{Iface(2, "nic")}, std::vector<AddressRow>{}, kNames};
  for (unsigned i = 0; i < 300; ++i) beyondAddresses.addresses->push_back(Addr(2, Ip(10, 0, i / 256, i % 256)));
  table = BuildAdapterTable(beyondAddresses);
  ASSERT_TRUE(table.has_value());
  ASSERT_EQ(table->count, 256);
  EXPECT_EQ(AdapterListText(table->rows[255]), "10.0.0.255 (eth0)");
}

struct CutCase {
  std::string text;
  std::size_t expectedBytes;
};

class TextBound : public ::testing::TestWithParam<CutCase> {};

// Descriptions and names are bounded to 255 bytes, never ending inside a character.
TEST_P(TextBound, CutsWithoutSplittingACharacter) {
  const CutCase& c = GetParam();
  const AdapterSnapshot snapshot{std::vector{Iface(2, c.text)}, std::vector{Addr(2, Ip(10, 0, 0, 1))},
                                 std::vector<AdapterRecord>{{2, c.text}}};
  const auto table = BuildAdapterTable(snapshot);
  ASSERT_TRUE(table.has_value());
  ASSERT_EQ(table->count, 1);
  EXPECT_EQ(table->rows[0].description, c.text.substr(0, c.expectedBytes));
  EXPECT_EQ(table->rows[0].friendlyName, c.text.substr(0, c.expectedBytes));
}

std::string Repeat(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextBound,
    ::testing::Values(CutCase{std::string(255, 'a'), 255}, CutCase{std::string(300, 'a'), 255},
                      CutCase{std::string(253, 'a') + "é", 255},           // ends exactly at 255
                      CutCase{std::string(254, 'a') + "é", 254},           // 2-byte character
                      CutCase{"x" + Repeat("あ", 100), 253},               // 3-byte characters
                      CutCase{std::string(252, 'a') + "\xF0\x9F\x90\xA6", 252},  // 4-byte character
                      CutCase{std::string(200, 'a') + std::string(100, '\x80'), 255}));  // not UTF-8

}  // namespace
}  // namespace kestrel::net
