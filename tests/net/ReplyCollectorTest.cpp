#include <gtest/gtest.h>

#include <string>

#include "net/ReplyCollector.h"

namespace kestrel::net {
namespace {

using Step = ReplyCollector::Step;
using enum ReplyFraming;

// Feeds `bytes` and returns the step after the last one fed; stops early at
// an end.
Step FeedAll(ReplyCollector& collector, const std::string& bytes) {
  Step step = Step::NeedMore;
  for (char c : bytes) {
    step = collector.Feed(static_cast<std::uint8_t>(c));
    if (step != Step::NeedMore) break;
  }
  return step;
}

TEST(ReplyCollector, TerminatorNeedsTheEchoInTheSameFrame) {
  const auto echo = EchoOfRequest(reinterpret_cast<const std::uint8_t*>("PG\x21\xC8"), 4);
  struct Case {
    const char* name;
    std::string bytes;
    Step step;
    std::string frame;
  } cases[] = {
      {"echoed frame", "pg!00000001\xC8", Step::Complete, "pg!00000001\xC8"},
      {"lone terminator is no frame", "\xC8pg\xC8", Step::Complete, "pg\xC8"},
      {"echo split by a terminator", "p\xC8g\xC8", Step::NeedMore, ""},
      {"upper-case echo", "PG!\xC8", Step::NeedMore, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReplyBuffer buffer{};
    ReplyCollector collector(UntilTerminator, echo, buffer);
    EXPECT_EQ(FeedAll(collector, c.bytes), c.step);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<long>(collector.length())),
              c.frame);
  }
}

TEST(ReplyCollector, NeverWritesPastTheBuffer) {
  for (ReplyFraming framing : {UntilTerminator, UntilEndMarker}) {
    ReplyBuffer buffer{};
    ReplyCollector collector(framing, {'m', 'i'}, buffer);
    EXPECT_EQ(FeedAll(collector, std::string(kReplyLimit, 'x')), Step::LimitExceeded);
    EXPECT_EQ(collector.Feed('x'), Step::LimitExceeded);  // a careless caller feeding on
    EXPECT_EQ(collector.length(), kReplyLimit);
  }
}

}  // namespace
}  // namespace kestrel::net
