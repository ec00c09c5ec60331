// Interfaces, IPv4 addresses and names of the calling process's network
// namespace, read from the kernel (rtnetlink and the ethtool ioctl). Nothing
// here reads /sys, whose view belongs to the namespace it was mounted in.
#include <arpa/inet.h>
#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "net/AdapterTable.h"
#include "net/posix/EthtoolQuery.h"
#include "net/posix/RouteDump.h"

namespace kestrel::net {
namespace {

// The states the joining rules understand: usable, or not.
constexpr std::uint32_t kOperUsable = 5;
constexpr std::uint32_t kOperDown = 2;

struct Link {
  std::uint32_t ifIndex = 0;
  std::string name;
  unsigned flags = 0;
  std::uint32_t hardwareAddressLength = 0;
};

std::optional<std::vector<Link>> ReadLinks() {
  ifinfomsg request{};
  request.ifi_family = AF_UNSPEC;
  std::vector<Link> links;
  const bool ok = posix::DumpRoute(RTM_GETLINK, &request, sizeof(request), [&](const nlmsghdr& header) {
    if (header.nlmsg_type != RTM_NEWLINK) return;
    const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(&header));
    Link link;
    link.ifIndex = static_cast<std::uint32_t>(info->ifi_index);
    link.flags = info->ifi_flags;
    int left = static_cast<int>(IFLA_PAYLOAD(&header));
    for (const rtattr* attribute = IFLA_RTA(info); RTA_OK(attribute, left);
         attribute = RTA_NEXT(attribute, left)) {
      const auto* data = static_cast<const char*>(RTA_DATA(attribute));
      const std::size_t size = RTA_PAYLOAD(attribute);
      if (attribute->rta_type == IFLA_IFNAME) {
        link.name.assign(data, strnlen(data, size));
      } else if (attribute->rta_type == IFLA_ADDRESS) {
        link.hardwareAddressLength = static_cast<std::uint32_t>(size);
      }
    }
    links.push_back(std::move(link));
  });
  if (!ok) return std::nullopt;
  return links;
}

std::uint32_t MaskOfPrefix(unsigned prefixLength) {
  if (prefixLength == 0) return 0;
  if (prefixLength > 32) prefixLength = 32;
  return htonl(0xFFFFFFFFu << (32 - prefixLength));
}

std::optional<std::vector<AddressRow>> ReadAddresses() {
  ifaddrmsg request{};
  request.ifa_family = AF_INET;
  std::vector<AddressRow> rows;
  const bool ok = posix::DumpRoute(RTM_GETADDR, &request, sizeof(request), [&](const nlmsghdr& header) {
    if (header.nlmsg_type != RTM_NEWADDR) return;
    const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(&header));
    if (info->ifa_family != AF_INET) return;
    // IFA_LOCAL is this host's end; IFA_ADDRESS is the peer on point-to-point
    // links and equals IFA_LOCAL elsewhere.
    std::optional<std::uint32_t> local;
    std::optional<std::uint32_t> address;
    int left = static_cast<int>(IFA_PAYLOAD(&header));
    for (const rtattr* attribute = IFA_RTA(info); RTA_OK(attribute, left);
         attribute = RTA_NEXT(attribute, left)) {
      if (RTA_PAYLOAD(attribute) != sizeof(std::uint32_t)) continue;
      std::uint32_t value = 0;
      std::memcpy(&value, RTA_DATA(attribute), sizeof(value));
      if (attribute->rta_type == IFA_LOCAL) local = value;
      if (attribute->rta_type == IFA_ADDRESS) address = value;
    }
    if (!local) local = address;
    if (!local) return;
    rows.push_back({info->ifa_index, *local, MaskOfPrefix(info->ifa_prefixlen)});
  });
  if (!ok) return std::nullopt;
  return rows;
}

InterfaceRow DescribeLink(int ioctlSocket, const Link& link) {
  InterfaceRow row;
  row.ifIndex = link.ifIndex;
  row.description = ioctlSocket >= 0 ? posix::DriverName(ioctlSocket, link.name) : std::string();
  if (row.description.empty()) row.description = link.name;
  const bool running = (link.flags & IFF_UP) != 0 && (link.flags & IFF_RUNNING) != 0;
  row.operStatus = running ? kOperUsable : kOperDown;
  row.physAddrLength = link.hardwareAddressLength;
  row.speed = ioctlSocket >= 0 ? posix::LinkSpeedBitsPerSecond(ioctlSocket, link.name) : 0;
  return row;
}

}  // namespace

AdapterSnapshot ReadPlatformAdapters() {
  AdapterSnapshot snapshot;
  snapshot.addresses = ReadAddresses();
  // The link list is both the interface table and the adapter list, so a
  // failure to read it makes both unavailable.
  const std::optional<std::vector<Link>> links = ReadLinks();
  if (!links) return snapshot;

  // Only carries ioctls; without it the rows fall back to names and no speed.
  const int ioctlSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  std::vector<InterfaceRow> interfaces;
  std::vector<AdapterRecord> adapters;
  for (const Link& link : *links) {
    interfaces.push_back(DescribeLink(ioctlSocket, link));
    adapters.push_back({link.ifIndex, link.name});
  }
  if (ioctlSocket >= 0) close(ioctlSocket);
  snapshot.interfaces = std::move(interfaces);
  snapshot.adapters = std::move(adapters);
  return snapshot;
}

}  // namespace kestrel::net
