#pragma once
// Conversions between an Endpoint and the 16-byte socket address record that
// the system calls take (and the device state keeps for the responder).
#include <cstdint>

#include "common/DeviceState.h"
#include "net/Socket.h"

namespace kestrel::net {

SocketAddressV4 ToSocketAddress(Endpoint e);
Endpoint ToEndpoint(const SocketAddressV4& record);

}  // namespace kestrel::net
