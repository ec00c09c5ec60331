#include <gtest/gtest.h>

#include <cerrno>

#include "net/ErrorNumbers.h"

namespace kestrel::net {
namespace {

TEST(ErrorNumbers, ReportsPlatformErrorsWithTheWindowsSocketsNumbers) {
  struct Case {
    int platform;
    int expected;
  } cases[] = {
      {ETIMEDOUT, 10060},    {EAGAIN, 10060},       {EWOULDBLOCK, 10060}, {ECONNREFUSED, 10061},
      {EADDRNOTAVAIL, 10049}, {ENETUNREACH, 10051}, {EHOSTUNREACH, 10065}, {ECONNRESET, 10054},
      {EPIPE, 10054},        {EMSGSIZE, 10040},     {EADDRINUSE, 10048},  {EACCES, 10013},
      {EINVAL, 10022},       {ENOTCONN, 10057},     {EMFILE, 10024},      {ECONNABORTED, 10053},
      // No counterpart: the platform's own number stays.
      {ENOMEM, ENOMEM},      {ENOENT, ENOENT},
  };
  for (const Case& c : cases) EXPECT_EQ(ToSocketErrorNumber(c.platform), c.expected) << c.platform;
}

}  // namespace
}  // namespace kestrel::net
