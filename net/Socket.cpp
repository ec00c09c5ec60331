// The half of the socket layer that is the same on every platform: handle
// checks, address conversions and time-out bounds. The platform's backend
// (posix/ or win/) supplies the system calls behind net/SocketSystem.h.
#include "net/Socket.h"

#include <cstring>

#include "net/ErrorNumbers.h"
#include "net/SocketAddress.h"
#include "net/SocketSystem.h"

namespace kestrel::net {

namespace {

constexpr std::uint16_t kFamilyIpv4 = 2;  // AF_INET on every platform we build for

// Port numbers in the record are in network byte order, whatever the host's.
std::uint16_t ToNetworkOrder(std::uint16_t port) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(port >> 8),
                                 static_cast<std::uint8_t>(port)};
  std::uint16_t network = 0;
  std::memcpy(&network, bytes, sizeof network);
  return network;
}

std::uint16_t ToHostOrder(std::uint16_t network) {
  std::uint8_t bytes[2];
  std::memcpy(bytes, &network, sizeof network);
  return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

// 0 would mean "wait for ever" to the system; no wait of ours is unbounded.
std::uint32_t Bounded(std::uint32_t ms) { return ms == 0 ? 1 : ms; }

}  // namespace

SocketAddressV4 ToSocketAddress(Endpoint e) {
  SocketAddressV4 record;
  record.family = kFamilyIpv4;
  record.port = ToNetworkOrder(e.port);
  record.address = e.address;
  return record;
}

Endpoint ToEndpoint(const SocketAddressV4& record) {
  return {record.address, ToHostOrder(record.port)};
}

int StartSocketLibrary() { return system::StartLibrary(); }

int CreateSocket(SocketKind kind, SocketHandle& out) {
  out = kInvalidSocket;
  // Programs that make sockets without the application's start-up (the
  // command-line tool, the tests) still get a started library.
  StartSocketLibrary();
  return system::Create(kind, out);
}

int Bind(SocketHandle s, Endpoint local) {
  if (s == kInvalidSocket) return kErrNotSocket;
  return system::Bind(s, ToSocketAddress(local));
}

int LocalEndpoint(SocketHandle s, Endpoint& out) {
  if (s == kInvalidSocket) return kErrNotSocket;
  SocketAddressV4 record;
  if (const int e = system::LocalAddress(s, record); e != 0) return e;
  out = ToEndpoint(record);
  return 0;
}

bool ConnectWithin(SocketHandle s, Endpoint peer, std::uint32_t timeoutMs, int& error) {
  error = 0;
  if (s == kInvalidSocket) {
    error = kErrNotSocket;
    return false;
  }
  return system::ConnectWithin(s, ToSocketAddress(peer), timeoutMs, error);
}

int SetSendTimeout(SocketHandle s, std::uint32_t ms) {
  if (s == kInvalidSocket) return kErrNotSocket;
  return system::SetTimeout(s, system::TimeoutKind::Send, Bounded(ms));
}

int SetReceiveTimeout(SocketHandle s, std::uint32_t ms) {
  if (s == kInvalidSocket) return kErrNotSocket;
  return system::SetTimeout(s, system::TimeoutKind::Receive, Bounded(ms));
}

int SetBroadcast(SocketHandle s, bool enabled) {
  if (s == kInvalidSocket) return kErrNotSocket;
  return system::SetBroadcast(s, enabled);
}

int Send(SocketHandle s, const void* data, std::size_t length, std::size_t& sent) {
  sent = 0;
  if (s == kInvalidSocket) return kErrNotSocket;
  return system::Send(s, data, length, sent);
}

int Receive(SocketHandle s, void* buffer, std::size_t length, std::size_t& received) {
  received = 0;
  if (s == kInvalidSocket) return kErrNotSocket;
  return system::Receive(s, buffer, length, received);
}

int SendTo(SocketHandle s, const void* data, std::size_t length, Endpoint peer) {
  if (s == kInvalidSocket) return kErrNotSocket;
  return system::SendTo(s, data, length, ToSocketAddress(peer));
}

int ReceiveFrom(SocketHandle s, void* buffer, std::size_t length, std::size_t& received,
                Endpoint& from) {
  received = 0;
  if (s == kInvalidSocket) return kErrNotSocket;
  // The backend leaves the record alone when no datagram came in, and so
  // `from` keeps what it held.
  SocketAddressV4 record = ToSocketAddress(from);
  const int e = system::ReceiveFrom(s, buffer, length, received, record);
  from = ToEndpoint(record);
  return e;
}

int WaitReadable(SocketHandle s, std::uint32_t timeoutUs, bool& readable) {
  readable = false;
  if (s == kInvalidSocket) return kErrNotSocket;
  return system::WaitReadable(s, timeoutUs, readable);
}

void CloseSocket(SocketHandle s) {
  if (s != kInvalidSocket) system::Close(s);
}

std::optional<std::uint32_t> ResolveHostV4(const std::string& name) {
  StartSocketLibrary();
  return system::ResolveHostV4(name);
}

}  // namespace kestrel::net
