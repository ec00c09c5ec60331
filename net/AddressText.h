#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace kestrel::net {

inline constexpr std::uint32_t kAddressNone = 0xFFFFFFFFu;

// Dotted IPv4 text by the classic rules (a, a.b, a.b.c, a.b.c.d with decimal,
// octal or hexadecimal parts), result in network byte order; nullopt when the
// text is not such an address.
std::optional<std::uint32_t> ParseDottedAddress(const std::string& text);

// The address the tool uses for a device entry: the dotted form when it is
// one, else the first IPv4 address the resolver gives for the name; nullopt
// when neither works. Network byte order.
std::optional<std::uint32_t> ResolveDeviceAddress(const std::string& text);

// "a.b.c.d" of an address in network byte order.
std::string FormatAddress(std::uint32_t networkOrder);

}  // namespace kestrel::net
