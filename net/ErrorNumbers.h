#pragma once
#include "common/FailureCause.h"

// Socket error numbers as the operator sees them: the Windows Sockets numbering,
// whatever the platform. The POSIX backend translates its errno values here.

namespace kestrel::net {

inline constexpr int kErrInterrupted = 10004;
inline constexpr int kErrPermission = 10013;
inline constexpr int kErrInvalidArgument = 10022;
inline constexpr int kErrTooManySockets = 10024;
inline constexpr int kErrNotSocket = 10038;
inline constexpr int kErrMessageTooLong = 10040;
inline constexpr int kErrAddressInUse = 10048;
inline constexpr int kErrAddressNotAvailable = 10049;
inline constexpr int kErrNetworkUnreachable = 10051;
inline constexpr int kErrConnectionReset = 10054;
inline constexpr int kErrNotConnected = 10057;
inline constexpr int kErrTimedOut = 10060;
inline constexpr int kErrConnectionRefused = 10061;
inline constexpr int kErrHostUnreachable = 10065;

// The Windows Sockets number of the same meaning as a platform errno value;
// a value without a counterpart is returned unchanged. A would-block result
// only reaches us from a blocking socket whose time-out ran out, so it is
// reported as a time-out.
int ToSocketErrorNumber(int platformError);

// The cause of a failed socket operation at `step`: a time-out, a refusal
// (refused, unreachable, no such local address) or, for any other number, a
// closed connection.
FailureCause SocketFailure(FailureStep step, int socketErrorNumber);

}  // namespace kestrel::net
