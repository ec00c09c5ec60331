#pragma once
// Reading the kernel's routing tables over rtnetlink. The answers describe the
// network namespace of the calling process, which is what the tool must bind in.
#include <linux/netlink.h>

#include <cstddef>
#include <functional>

namespace kestrel::net::posix {

// Sends one dump request of `requestType` with `request` as its body and hands
// every answer message to `onMessage`, in the kernel's order. False when the
// socket cannot be used, the kernel reports an error, or the dump does not end
// within a few seconds.
bool DumpRoute(unsigned short requestType, const void* request, std::size_t requestSize,
               const std::function<void(const nlmsghdr&)>& onMessage);

}  // namespace kestrel::net::posix
