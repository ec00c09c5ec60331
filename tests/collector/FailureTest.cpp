// Each kind of failure from the text the device operations show for it,
// taken the way the poller takes it (line break removed).
#include <gtest/gtest.h>

#include "collector/Failure.h"
#include "common/OperatorTexts.h"
#include "net/ErrorNumbers.h"

namespace kestrel::collector {
namespace {

TEST(Failure, EveryKindFromTheTextShown) {
  const struct {
    std::string shown;
    FailureKind kind;
  } cases[] = {
      {kMsgTargetNotFound, FailureKind::Timeout},
      {NetworkErrorText('R', net::kErrTimedOut), FailureKind::Timeout},
      {NetworkErrorText('C', net::kErrConnectionRefused), FailureKind::Refused},
      {NetworkErrorText('C', net::kErrHostUnreachable), FailureKind::Refused},
      {NetworkErrorText('R', 0), FailureKind::Closed},
      {kMsgReplyDataError, FailureKind::Reply},
      {kMsgUnsupportedModel, FailureKind::RefusedModel},
      {kMsgSpontaneousMode, FailureKind::Mode},
  };
  for (const auto& c : cases) {
    MessageKeeper keeper;
    keeper.ShowMessage(c.shown);
    EXPECT_EQ(ClassifyFailure(keeper.Take()), c.kind) << c.shown;
  }
}

}  // namespace
}  // namespace kestrel::collector
