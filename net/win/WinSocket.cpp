// Windows Sockets system calls of the socket layer. The error numbers are the
// WSAGetLastError() values, unchanged.
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include <climits>
#include <cstring>

#include "net/SocketSystem.h"

namespace kestrel::net::system {

namespace {

SOCKET Native(SocketHandle s) { return static_cast<SOCKET>(s); }

int ClampLength(std::size_t length) {
  return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

// Windows reports an ICMP "port unreachable" for an earlier datagram as a
// failed receive (WSAECONNRESET) on the next recvfrom. For the probe that
// would turn "nothing answers there" into a broken reply, so datagram sockets
// ignore those reports, as they do elsewhere.
void IgnorePortUnreachable(SOCKET s) {
  BOOL report = FALSE;
  DWORD returned = 0;
  WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
}

}  // namespace

int StartLibrary() {
  // Once per process; the library is never shut down, the process end
  // reclaims it.
  static const int result = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 0), &data);
  }();
  return result;
}

int Create(SocketKind kind, SocketHandle& out) {
  const bool stream = kind == SocketKind::Stream;
  const SOCKET s = socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return WSAGetLastError();
  if (!stream) IgnorePortUnreachable(s);
  out = static_cast<SocketHandle>(s);
  return 0;
}

int Bind(SocketHandle s, const SocketAddressV4& local) {
  const sockaddr_in a = ToSockaddr<sockaddr_in>(local);
  return bind(Native(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0
                                                                                : WSAGetLastError();
}

int LocalAddress(SocketHandle s, SocketAddressV4& out) {
  sockaddr_in a{};
  int length = sizeof a;
  if (getsockname(Native(s), reinterpret_cast<sockaddr*>(&a), &length) != 0)
    return WSAGetLastError();
  out = FromSockaddr(a);
  return 0;
}

bool ConnectWithin(SocketHandle s, const SocketAddressV4& peer, std::uint32_t timeoutMs,
                   int& error) {
  const SOCKET socket = Native(s);
  WSAEVENT event = WSACreateEvent();
  if (event == WSA_INVALID_EVENT) return false;
  // Selecting FD_CONNECT also makes the socket non-blocking, so connect()
  // returns at once and the wait below bounds the attempt.
  if (WSAEventSelect(socket, event, FD_CONNECT) != 0) {
    WSACloseEvent(event);
    return false;
  }

  bool connected = false;
  const sockaddr_in a = ToSockaddr<sockaddr_in>(peer);
  if (connect(socket, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 &&
      WSAGetLastError() != WSAEWOULDBLOCK) {
    error = WSAGetLastError();
  } else if (WSAWaitForMultipleEvents(1, &event, FALSE, timeoutMs, FALSE) != WSA_WAIT_EVENT_0) {
    error = WSAETIMEDOUT;
  } else {
    WSANETWORKEVENTS events{};
    if (WSAEnumNetworkEvents(socket, event, &events) != 0) {
      error = WSAGetLastError();
    } else {
      error = events.iErrorCode[FD_CONNECT_BIT];
      connected = error == 0;
    }
  }

  // A socket cannot be made blocking while an event is associated with it:
  // the association goes first, then the event, then the mode.
  WSAEventSelect(socket, nullptr, 0);
  WSACloseEvent(event);
  u_long nonBlocking = 0;
  ioctlsocket(socket, FIONBIO, &nonBlocking);
  return connected;
}

int SetTimeout(SocketHandle s, TimeoutKind kind, std::uint32_t ms) {
  const DWORD value = ms;
  const int option = kind == TimeoutKind::Send ? SO_SNDTIMEO : SO_RCVTIMEO;
  const int r = setsockopt(Native(s), SOL_SOCKET, option, reinterpret_cast<const char*>(&value),
                           sizeof value);
  return r == 0 ? 0 : WSAGetLastError();
}

int SetBroadcast(SocketHandle s, bool enabled) {
  const BOOL value = enabled ? TRUE : FALSE;
  const int r = setsockopt(Native(s), SOL_SOCKET, SO_BROADCAST,
                           reinterpret_cast<const char*>(&value), sizeof value);
  return r == 0 ? 0 : WSAGetLastError();
}

int Send(SocketHandle s, const void* data, std::size_t length, std::size_t& sent) {
  const int n = send(Native(s), static_cast<const char*>(data), ClampLength(length), 0);
  if (n == SOCKET_ERROR) return WSAGetLastError();
  sent = static_cast<std::size_t>(n);
  return 0;
}

int Receive(SocketHandle s, void* buffer, std::size_t length, std::size_t& received) {
  const int n = recv(Native(s), static_cast<char*>(buffer), ClampLength(length), 0);
  if (n == SOCKET_ERROR) return WSAGetLastError();
  received = static_cast<std::size_t>(n);
  return 0;
}

int SendTo(SocketHandle s, const void* data, std::size_t length, const SocketAddressV4& peer) {
  const sockaddr_in a = ToSockaddr<sockaddr_in>(peer);
  const int n = sendto(Native(s), static_cast<const char*>(data), ClampLength(length), 0,
                       reinterpret_cast<const sockaddr*>(&a), sizeof a);
  return n == SOCKET_ERROR ? WSAGetLastError() : 0;
}

int ReceiveFrom(SocketHandle s, void* buffer, std::size_t length, std::size_t& received,
                SocketAddressV4& from) {
  sockaddr_in a{};
  int addressLength = sizeof a;
  const int n = recvfrom(Native(s), static_cast<char*>(buffer), ClampLength(length), 0,
                         reinterpret_cast<sockaddr*>(&a), &addressLength);
  if (n != SOCKET_ERROR) {
    received = static_cast<std::size_t>(n);
    from = FromSockaddr(a);
    return 0;
  }
  const int error = WSAGetLastError();
  // An oversize datagram still fills the buffer and names its sender; the
  // surplus is lost and the receive counts as failed.
  if (error == WSAEMSGSIZE) {
    received = length;
    from = FromSockaddr(a);
  }
  return error;
}

int WaitReadable(SocketHandle s, std::uint32_t timeoutUs, bool& readable) {
  fd_set readSet;
  FD_ZERO(&readSet);
  FD_SET(Native(s), &readSet);
  timeval wait{};
  wait.tv_sec = static_cast<long>(timeoutUs / 1000000);
  wait.tv_usec = static_cast<long>(timeoutUs % 1000000);
  const int r = select(0, &readSet, nullptr, nullptr, &wait);
  if (r == SOCKET_ERROR) return WSAGetLastError();
  readable = r > 0;
  return 0;
}

void Close(SocketHandle s) { closesocket(Native(s)); }

std::optional<std::uint32_t> ResolveHostV4(const std::string& name) {
  return FirstAddressV4<addrinfo, sockaddr_in>(name, AF_INET, SOCK_STREAM);
}

}  // namespace kestrel::net::system
