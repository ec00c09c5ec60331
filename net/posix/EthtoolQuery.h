#pragma once
// Driver facts the kernel gives for one interface through the ethtool ioctl.
#include <cstdint>
#include <string>

namespace kestrel::net::posix {

// `fd` is any socket of the namespace (the ioctl only names the interface).
// The driver's name, or empty when the interface has no driver information.
std::string DriverName(int fd, const std::string& interfaceName);

// The link speed in bits per second, or 0 when the driver reports none.
std::uint64_t LinkSpeedBitsPerSecond(int fd, const std::string& interfaceName);

}  // namespace kestrel::net::posix
