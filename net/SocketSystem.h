#pragma once
// What each platform's socket backend supplies to the shared socket layer
// (net/Socket.cpp): the system calls alone, and the number of the last error.
// The shared layer has already refused an invalid handle, turned endpoints
// into socket address records and made every time-out at least 1 ms, so the
// backends need not.
#include <cstddef>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "common/DeviceState.h"
#include "net/Socket.h"

namespace kestrel::net::system {

enum class TimeoutKind { Send, Receive };

// The record has the layout of the system's sockaddr_in (family, port,
// address, padding), so a backend copies it as it is.
template <class SockaddrIn>
SockaddrIn ToSockaddr(const SocketAddressV4& record) {
  return std::bit_cast<SockaddrIn>(record);
}
template <class SockaddrIn>
SocketAddressV4 FromSockaddr(const SockaddrIn& a) {
  return std::bit_cast<SocketAddressV4>(a);
}

// The resolver's calls are the same on every platform; only the headers that
// declare them differ. A backend instantiates this with its own addrinfo and
// sockaddr_in, and getaddrinfo is found there, by the argument types.
template <class AddrInfo, class SockaddrIn>
std::optional<std::uint32_t> FirstAddressV4(const std::string& name, int family, int socketType) {
  AddrInfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = socketType;
  AddrInfo* list = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return std::nullopt;
  std::optional<std::uint32_t> result;
  for (const AddrInfo* p = list; p != nullptr; p = p->ai_next) {
    if (p->ai_family == family && p->ai_addr != nullptr) {
      SockaddrIn a{};
      std::memcpy(&a, p->ai_addr, sizeof a);
      result = a.sin_addr.s_addr;
      break;
    }
  }
  freeaddrinfo(list);
  return result;
}

int StartLibrary();
int Create(SocketKind kind, SocketHandle& out);
int Bind(SocketHandle s, const SocketAddressV4& local);
int LocalAddress(SocketHandle s, SocketAddressV4& out);
bool ConnectWithin(SocketHandle s, const SocketAddressV4& peer, std::uint32_t timeoutMs,
                   int& error);
int SetTimeout(SocketHandle s, TimeoutKind kind, std::uint32_t ms);
int SetBroadcast(SocketHandle s, bool enabled);
int Send(SocketHandle s, const void* data, std::size_t length, std::size_t& sent);
int Receive(SocketHandle s, void* buffer, std::size_t length, std::size_t& received);
int SendTo(SocketHandle s, const void* data, std::size_t length, const SocketAddressV4& peer);
int ReceiveFrom(SocketHandle s, void* buffer, std::size_t length, std::size_t& received,
                SocketAddressV4& from);
int WaitReadable(SocketHandle s, std::uint32_t timeoutUs, bool& readable);
void Close(SocketHandle s);
// The first IPv4 address (network byte order) the resolver gives.
std::optional<std::uint32_t> ResolveHostV4(const std::string& name);

}  // namespace kestrel::net::system
