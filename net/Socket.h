#pragma once
// The socket operations that the channel and the probe use. One backend per
// platform implements them; error numbers are reported as the Windows Sockets
// numbers of the same meaning so that operators see the same texts everywhere.
#include <cstdint>

namespace kestrel::net {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

}  // namespace kestrel::net
