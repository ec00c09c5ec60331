#pragma once
// The socket operations that the channel and the probe use. One backend per
// platform implements them; error numbers are reported as the Windows Sockets
// numbers of the same meaning so that operators see the same texts everywhere.
//
// Every operation that can fail returns 0 on success or such an error number.
// Sockets are blocking unless a call says otherwise.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrel::net {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

// An IPv4 socket address: the address in network byte order, the port in
// host byte order.
struct Endpoint {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

enum class SocketKind { Stream, Datagram };

// Starts the platform's socket library, once per process: Windows Sockets
// 2.0 on Windows, nothing elsewhere. The application calls it at start-up;
// socket creation calls it too, so tools and tests need not. Returns 0 or the
// library's error number; nobody acts on a failure, every later socket call
// then fails and reports its own error.
int StartSocketLibrary();

// Creates an IPv4 TCP (Stream) or UDP (Datagram) socket.
int CreateSocket(SocketKind kind, SocketHandle& out);
int Bind(SocketHandle s, Endpoint local);
// The address and port the socket is bound to.
int LocalEndpoint(SocketHandle s, Endpoint& out);

// Connects within `timeoutMs` and leaves the socket blocking again.
// Returns true when connected. On failure `error` holds the connect error,
// 10060 when the wait ran out, or 0 when the socket could not be switched to
// the non-blocking mode the wait needs.
bool ConnectWithin(SocketHandle s, Endpoint peer, std::uint32_t timeoutMs, int& error);

// Bounds each later send or receive call; 0 is taken as 1 ms, never as no bound.
int SetSendTimeout(SocketHandle s, std::uint32_t ms);
int SetReceiveTimeout(SocketHandle s, std::uint32_t ms);
int SetBroadcast(SocketHandle s, bool enabled);

// One send call; `sent` may be less than `length`.
int Send(SocketHandle s, const void* data, std::size_t length, std::size_t& sent);
// One receive call. `received` == 0 with result 0 means the peer closed the
// connection. A time-out is 10060.
int Receive(SocketHandle s, void* buffer, std::size_t length, std::size_t& received);

int SendTo(SocketHandle s, const void* data, std::size_t length, Endpoint peer);
// One datagram with its source. A datagram longer than `length` is a failed
// receive (10040); its surplus is lost.
int ReceiveFrom(SocketHandle s, void* buffer, std::size_t length, std::size_t& received,
                Endpoint& from);

// Waits until the socket has something to read (data, a closed peer or a
// pending error) for at most `timeoutUs`. `readable` tells which.
int WaitReadable(SocketHandle s, std::uint32_t timeoutUs, bool& readable);

// Closes the socket; closing kInvalidSocket does nothing.
void CloseSocket(SocketHandle s);

// First IPv4 address the system resolver gives for a host name.
std::optional<std::uint32_t> ResolveHostV4(const std::string& name);

}  // namespace kestrel::net
