#pragma once
// Adapter rows for windows under test, without asking the machine.
#include <arpa/inet.h>

#include <string>
#include <vector>

#include "net/AdapterTable.h"

namespace kestrel::ui {

struct FakeInterface {
  std::uint32_t ifIndex;
  std::string name;
  std::vector<std::string> addresses;  // dotted
};

inline std::uint32_t Dotted(const std::string& text) {
  in_addr address{};
  inet_pton(AF_INET, text.c_str(), &address);
  return address.s_addr;
}

// Usable interfaces (running, with a link-layer address) with the given
// addresses; an empty list gives a machine with loopback only.
inline net::AdapterSnapshot FakeSnapshot(const std::vector<FakeInterface>& interfaces) {
  net::AdapterSnapshot snapshot;
  snapshot.interfaces.emplace();
  snapshot.addresses.emplace();
  snapshot.adapters.emplace();
  snapshot.interfaces->push_back({1, "lo", 5, 0, 0});
  snapshot.addresses->push_back({1, Dotted("127.0.0.1"), Dotted("255.0.0.0")});
  snapshot.adapters->push_back({1, "lo"});
  for (const auto& i : interfaces) {
    snapshot.interfaces->push_back({i.ifIndex, "veth", 5, 6, 10000000000ull});
    for (const auto& a : i.addresses) {
      snapshot.addresses->push_back({i.ifIndex, Dotted(a), Dotted("255.255.255.0")});
    }
    snapshot.adapters->push_back({i.ifIndex, i.name});
  }
  return snapshot;
}

}  // namespace kestrel::ui
