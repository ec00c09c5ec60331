#pragma once
// The socket calls the loopback stand-ins need beyond the product's own socket
// layer (net/Socket.h), which only ever plays the client: the listening side
// of TCP, the two ways of ending a connection, and one wait over several
// sockets. One source file per platform, chosen by CMake.
#include <cstdint>
#include <vector>

#include "net/Socket.h"

namespace kestrel::testing::peer {

using net::SocketHandle;

// Lets a listener take a fixed port again while connections of an earlier
// listener on it are still winding down.
void AllowPortReuse(SocketHandle s);
// Starts listening on a bound socket. Returns 0 or the error number.
int Listen(SocketHandle s, int backlog);
// Takes one waiting connection, with Nagle's delay off so that scripted pieces
// leave as separate segments. Returns 0 or the error number.
int Accept(SocketHandle listener, SocketHandle& out);
// Sends the orderly end (FIN); the socket still has to be closed.
void ShutdownSending(SocketHandle s);
// Makes the next close abortive (RST) instead of orderly.
void ResetOnClose(SocketHandle s);
// Waits at most `timeoutMs` until at least one socket has something to read
// (for a listener: a connection to accept). `readable` gets one flag per
// socket. Returns 0 (also on time-out) or the error number.
int WaitAnyReadable(const std::vector<SocketHandle>& sockets, int timeoutMs,
                    std::vector<bool>& readable);

// Sockets the process holds open now: a test compares two counts to see that
// an operation closed the socket it made.
int OpenSocketCount();

}  // namespace kestrel::testing::peer
