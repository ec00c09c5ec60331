#include <gtest/gtest.h>

#include "cli/EnglishHint.h"
#include "common/OperatorTexts.h"

namespace kestrel::cli {
namespace {

// Each text the tool can show, as the device layer hands it over (some end in
// "\r\n"), gets its own English line with the words a reader needs to act.
TEST(EnglishHint, EveryOperatorTextHasItsOwnLine) {
  const struct {
    std::string text;
    std::vector<std::string> words;
  } cases[] = {
#ifdef _WIN32
      // The zip holds no demo network to point to.
      {kMsgNoNetworkDevice, {"loopback", "--interface", "device's network"}},
#else
      {kMsgNoNetworkDevice, {"loopback", "--interface", "run.sh --shell"}},
#endif
      {kMsgInvalidIpAddress, {"IPv4 address"}},
      {kMsgInvalidPort, {"1 to 65535"}},
      {kMsgInvalidAddress, {"host name"}},
      {kMsgUnsupportedModel, {"no pulse-count inputs"}},
      {kMsgTargetNotFound, {"discovery"}},
      {kMsgSpontaneousMode, {"RST switch"}},
      {kMsgReplyDataError, {"malformed"}},
      {NetworkErrorText('R', 10060), {"waiting for the reply", "10060", "no answer in time"}},
      {NetworkErrorText('C', 10061), {"connecting", "refused"}},
      {NetworkErrorText('F', 10065), {"probing", "unreachable"}},
      {NetworkErrorText('D', 12345), {"sending", "error 12345)."}},
  };
  for (const auto& c : cases) {
    const std::string hint = EnglishHint(c.text);
    for (const std::string& w : c.words) EXPECT_NE(hint.find(w), std::string::npos) << c.text << " -> " << hint;
    for (char ch : hint) EXPECT_TRUE(ch >= ' ' && ch <= '~') << hint;  // one printable ASCII line
  }
}

TEST(EnglishHint, NoneForOtherTexts) {
  for (const char* text : {"", "counting stopped", "kestrelctl: no command given", "ネットワークエラー:"})
    EXPECT_EQ(EnglishHint(text), "") << text;
}

}  // namespace
}  // namespace kestrel::cli
