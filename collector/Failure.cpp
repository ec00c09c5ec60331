#include "collector/Failure.h"

#include <cstdlib>
#include <string_view>

#include "common/OperatorTexts.h"
#include "device/CommandSet.h"
#include "device/ModeCheck.h"
#include "net/ErrorNumbers.h"

namespace kestrel::collector {

std::string MessageKeeper::Take() {
  std::string text = std::move(last_);
  last_.clear();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

namespace {
// The operator texts as Take() hands them on: without their line break, so
// that a text that has one (the reply error) still matches.
std::string_view Bare(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// "ネットワークエラー:<step> <number>": the socket error number, or -1.
int NetworkErrorNumber(const std::string& message) {
  constexpr std::string_view kPrefix = kNetworkErrorPrefix;
  if (message.rfind(kPrefix, 0) != 0) return -1;
  const std::size_t space = message.find(' ', kPrefix.size());
  if (space == std::string::npos) return -1;
  return std::atoi(message.c_str() + space + 1);
}
}  // namespace

FailureKind ClassifyFailure(const std::string& message) {
  if (message == Bare(kMsgUnsupportedModel)) return FailureKind::RefusedModel;
  if (message == Bare(kMsgSpontaneousMode)) return FailureKind::Mode;
  if (message == Bare(kMsgTargetNotFound)) return FailureKind::Timeout;
  if (message.rfind(Bare(kMsgReplyDataError), 0) == 0) return FailureKind::Reply;
  switch (NetworkErrorNumber(message)) {
    case net::kErrTimedOut:
      return FailureKind::Timeout;
    case net::kErrConnectionRefused:
    case net::kErrNetworkUnreachable:
    case net::kErrHostUnreachable:
    case net::kErrAddressNotAvailable:
      return FailureKind::Refused;
    default:
      break;
  }
  // Entry texts cannot come from a checked configuration; a lost connection
  // and every other socket error count as a closed connection.
  if (message == kMsgInvalidAddress || message == kMsgInvalidIpAddress || message == kMsgInvalidPort)
    return FailureKind::Refused;
  return FailureKind::Closed;
}

}  // namespace kestrel::collector
