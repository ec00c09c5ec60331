#include <gtest/gtest.h>

#include "net/AddressText.h"
#include "tests/support/Loopback.h"

namespace kestrel::net {
namespace {

using testing::Ipv4;

TEST(AddressText, ReadsDottedAddressesByTheClassicRules) {
  struct Case {
    const char* text;
    std::optional<std::uint32_t> address;
  } cases[] = {
      {"192.168.0.10", Ipv4(192, 168, 0, 10)},
      {"255.255.255.255", Ipv4(255, 255, 255, 255)},  // valid, unlike the failure value
      {"0.0.0.0", Ipv4(0, 0, 0, 0)},
      {"10.1", Ipv4(10, 0, 0, 1)},                   // a.b: b fills three bytes
      {"10.1.258", Ipv4(10, 1, 1, 2)},               // a.b.c: c fills two bytes
      {"3232235530", Ipv4(192, 168, 0, 10)},         // a: one 32-bit number
      {"0xC0.0250.0.012", Ipv4(192, 168, 0, 10)},    // hexadecimal and octal parts
      {"0XFF.0.0.0", Ipv4(255, 0, 0, 0)},
      {"1.2.3.4 ", Ipv4(1, 2, 3, 4)},                // trailing blanks end the address
      {"1.2.3.4\t\r\n", Ipv4(1, 2, 3, 4)},
      {"", std::nullopt},
      {" 1.2.3.4", std::nullopt},
      {"1.2.3.4 x", std::nullopt},
      {"1.2.3.4x", std::nullopt},
      {"1.2.3.256", std::nullopt},
      {"256.1.1.1", std::nullopt},
      {"1.2.65536", std::nullopt},
      {"1.16777216", std::nullopt},
      {"4294967296", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"1..2", std::nullopt},
      {"1.2.", std::nullopt},
      {".1.2", std::nullopt},
      {"08.1.1.1", std::nullopt},                     // 8 is no octal digit
      {"0x.1.1.1", std::nullopt},
      {"-1.2.3.4", std::nullopt},
      {"host", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseDottedAddress(c.text), c.address) << '"' << c.text << '"';
  }
}

TEST(AddressText, ResolvesHostNamesButNotMistypedAddresses) {
  EXPECT_EQ(ResolveDeviceAddress("127.0.3.9"), Ipv4(127, 0, 3, 9));
  EXPECT_EQ(ResolveDeviceAddress("localhost"), Ipv4(127, 0, 0, 1));
  EXPECT_EQ(ResolveDeviceAddress("1.2.3.256"), std::nullopt);  // never asked of the resolver
  EXPECT_EQ(ResolveDeviceAddress(""), std::nullopt);
}

TEST(AddressText, FormatsDottedDecimal) {
  EXPECT_EQ(FormatAddress(Ipv4(192, 168, 0, 10)), "192.168.0.10");
  EXPECT_EQ(FormatAddress(Ipv4(0, 0, 0, 0)), "0.0.0.0");
  EXPECT_EQ(FormatAddress(kAddressNone), "255.255.255.255");
}

}  // namespace
}  // namespace kestrel::net
