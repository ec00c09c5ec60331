#include "net/ErrorNumbers.h"

#include <cerrno>

namespace kestrel::net {

namespace {

struct Mapping {
  int platform;
  int socketNumber;
};

// EAGAIN and EWOULDBLOCK are the same value on some systems and different on
// others; listing both is harmless because the first match wins.
constexpr Mapping kMappings[] = {
    {ETIMEDOUT, kErrTimedOut},
    {EAGAIN, kErrTimedOut},
    {EWOULDBLOCK, kErrTimedOut},
    {ECONNREFUSED, kErrConnectionRefused},
    {EADDRNOTAVAIL, kErrAddressNotAvailable},
    {ENETUNREACH, kErrNetworkUnreachable},
    {EHOSTUNREACH, kErrHostUnreachable},
    {ECONNRESET, kErrConnectionReset},
    {EPIPE, kErrConnectionReset},
    {EMSGSIZE, kErrMessageTooLong},
    {EADDRINUSE, kErrAddressInUse},
    {EACCES, kErrPermission},
    {EPERM, kErrPermission},
    {EINVAL, kErrInvalidArgument},
    {ENOTCONN, kErrNotConnected},
    {EMFILE, kErrTooManySockets},
    {EINTR, kErrInterrupted},
    {ENOTSOCK, kErrNotSocket},
    {EBADF, 10009},
    {EDESTADDRREQ, 10039},
    {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},
    {ECONNABORTED, 10053},
    {ENETDOWN, 10050},
    {ENETRESET, 10052},
    {ENOBUFS, 10055},
    {EISCONN, 10056},
    {EINPROGRESS, 10036},
    {EALREADY, 10037},
    {EAFNOSUPPORT, 10047},
    {EPROTONOSUPPORT, 10043},
    {EOPNOTSUPP, 10045},
};

}  // namespace

int ToSocketErrorNumber(int platformError) {
  for (const Mapping& m : kMappings)
    if (m.platform == platformError) return m.socketNumber;
  return platformError;
}

FailureCause SocketFailure(FailureStep step, int socketErrorNumber) {
  FailureKind kind = FailureKind::Closed;
  switch (socketErrorNumber) {
    case kErrTimedOut:
      kind = FailureKind::Timeout;
      break;
    case kErrConnectionRefused:
    case kErrNetworkUnreachable:
    case kErrHostUnreachable:
    case kErrAddressNotAvailable:
      kind = FailureKind::Refused;
      break;
    default:
      break;
  }
  return {step, kind, socketErrorNumber};
}

}  // namespace kestrel::net
