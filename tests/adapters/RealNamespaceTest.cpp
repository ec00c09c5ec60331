// The adapter table read from the kernel, inside a network namespace that
// tests/netns/with-veth.sh made; the variables it sets say what to expect.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "net/AdapterTable.h"
#include "net/Probe.h"
#include "tests/support/UdpResponder.h"

namespace kestrel::net {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

void AddRows(std::vector<std::string>& rows, const std::string& addresses, const std::string& name) {
  std::istringstream words(addresses);
  for (std::string address; words >> address;) {
    if (address != "127.0.0.1") rows.push_back(address + " (" + name + ")");
  }
}

std::vector<std::string> Sorted(std::vector<std::string> rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

TEST(RealNamespace, ListsExactlyTheUsableAddresses) {
  const std::string mode = Env("KESTREL_NETNS");
  if (mode.empty()) GTEST_SKIP() << "needs a namespace made by tests/netns/with-veth.sh";

  std::vector<std::string> expected;
  AddRows(expected, Env("KESTREL_NETNS_LO_ADDRS"), "lo");
  AddRows(expected, Env("KESTREL_NETNS_A_ADDRS"), Env("KESTREL_NETNS_A_NAME"));
  AddRows(expected, Env("KESTREL_NETNS_B_ADDRS"), Env("KESTREL_NETNS_B_NAME"));

  const AdapterSnapshot snapshot = ReadPlatformAdapters();
  ASSERT_TRUE(snapshot.interfaces && snapshot.addresses && snapshot.adapters);
  const std::optional<AdapterTable> table = BuildAdapterTable(snapshot);
  ASSERT_TRUE(table.has_value());

  std::vector<std::string> listed;
  for (std::int32_t i = 0; i < table->count; ++i) {
    const AdapterEntry& entry = table->rows[i];
    listed.push_back(AdapterListText(entry));
    // veth has driver information; lo has none and is described by its name.
    EXPECT_EQ(entry.description, entry.friendlyName == "lo" ? "lo" : "veth") << listed.back();
  }
  EXPECT_EQ(Sorted(listed), Sorted(expected));
  if (mode == "loopback") {
    EXPECT_EQ(table->count, 0);
  }

  for (const InterfaceRow& row : *snapshot.interfaces) {
    if (row.description != "veth") continue;
    EXPECT_EQ(row.operStatus, 5u);
    EXPECT_EQ(row.physAddrLength, 6u);
    EXPECT_EQ(row.speed, 10000000000u);  // veth reports 10 Gb/s
  }
}

// The probe to the limited broadcast address leaves by the interface of the
// bound address (it needs the broadcast permission to be sent at all); the
// device on the pair's other end answers. Only inside the namespace.
TEST(RealNamespace, ProbesByLimitedBroadcast) {
  if (Env("KESTREL_NETNS") != "veth") GTEST_SKIP() << "needs the veth pair of tests/netns/with-veth.sh";
  testing::UdpResponder device(
      [](const testing::Bytes& datagram) -> std::optional<testing::Bytes> {
        if (datagram.size() != 4) return std::nullopt;
        testing::Bytes reply(30, 0);
        reply[8] = '_';
        reply[9] = 'W';
        return reply;
      },
      {testing::Ipv4(0, 0, 0, 0), 0, false});
  DeviceState state;
  state.localAddress = testing::Ipv4(10, 77, 0, 1);
  ProbeSettings settings{device.port(), 1000, 300, 1};
  EXPECT_EQ(ProbeDevice(state, "255.255.255.255", settings), 0);
  EXPECT_EQ(state.probeKind, 5);
}

}  // namespace
}  // namespace kestrel::net
