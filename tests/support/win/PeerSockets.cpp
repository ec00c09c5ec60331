// Windows Sockets side of the test peers' socket calls.
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <windows.h>

#include "tests/support/PeerSockets.h"

namespace kestrel::testing::peer {

namespace {
SOCKET Native(SocketHandle s) { return static_cast<SOCKET>(s); }
}  // namespace

// Windows lets a listener bind a port whose old connections linger without
// asking, and SO_REUSEADDR there would let two listeners share a port.
void AllowPortReuse(SocketHandle) {}

int Listen(SocketHandle s, int backlog) {
  return listen(Native(s), backlog) == 0 ? 0 : WSAGetLastError();
}

int Accept(SocketHandle listener, SocketHandle& out) {
  out = net::kInvalidSocket;
  const SOCKET s = accept(Native(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return WSAGetLastError();
  const BOOL one = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  out = static_cast<SocketHandle>(s);
  return 0;
}

void ShutdownSending(SocketHandle s) { shutdown(Native(s), SD_SEND); }

void ResetOnClose(SocketHandle s) {
  const linger abort{1, 0};
  setsockopt(Native(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
}

int WaitAnyReadable(const std::vector<SocketHandle>& sockets, int timeoutMs,
                    std::vector<bool>& readable) {
  readable.assign(sockets.size(), false);
  // select() fails on an empty set instead of waiting.
  if (sockets.empty()) {
    Sleep(static_cast<DWORD>(timeoutMs));
    return 0;
  }
  fd_set readSet;
  FD_ZERO(&readSet);
  for (SocketHandle s : sockets) FD_SET(Native(s), &readSet);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  if (select(0, &readSet, nullptr, nullptr, &wait) == SOCKET_ERROR) return WSAGetLastError();
  for (std::size_t k = 0; k < sockets.size(); ++k)
    readable[k] = FD_ISSET(Native(sockets[k]), &readSet) != 0;
  return 0;
}

// There is no call that lists a process's sockets (and Wine counts no
// handles at all), so every small handle value is asked whether it is a
// socket. Handles are multiples of 4 and a test program holds few of them.
int OpenSocketCount() {
  constexpr ULONG_PTR kLastHandle = 0x4000;
  int n = 0;
  for (ULONG_PTR handle = 4; handle <= kLastHandle; handle += 4) {
    int type = 0;
    int length = sizeof type;
    if (getsockopt(static_cast<SOCKET>(handle), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type),
                   &length) == 0)
      ++n;
  }
  return n;
}

}  // namespace kestrel::testing::peer
