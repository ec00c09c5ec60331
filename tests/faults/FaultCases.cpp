#include "tests/faults/FaultCases.h"

#include "device/Connect.h"
#include "tests/faults/FaultTool.h"

namespace kestrel::testing {

std::vector<FaultCase> FaultCases() {
  const long long receive = ShortChannelTimeouts().receiveMs;
  const long long probe = ShortProbeSettings().replyWaitMs;
  return {
      {"DelayJustUnderTheTimeout", {"--reply-delay=250:1"}, Strikes::Connect, "", true, 250, 250,
       "reply delayed 250 ms"},
      {"DelayOverTheTimeout", {"--reply-delay=700:1"}, Strikes::Connect, kTimedOutText, false,
       receive, receive, "reply delayed 700 ms"},
      {"NoReplyWhileConnecting", {"--no-reply=MI:1"}, Strikes::Connect, kTimedOutText, false,
       receive, receive, "no reply to MI"},
      {"NoReplyToACounterRead", {"--no-reply=PG:1"}, Strikes::ReadCounts, kTimedOutText, true,
       receive, receive, "no reply to PG"},
      {"StrayFrames", {"--stray-frame"}, Strikes::ReadCounts, "", true, 0, 0, "stray frame"},
      {"Greeting", {"--greeting"}, Strikes::ReadCounts, "", true, 0, 0, "greeting"},
      {"OneByteSegments", {"--one-byte-segments"}, Strikes::ReadCounts, "", true, 0, 0,
       "one byte per segment"},
      {"EndlessReplyWhileConnecting", {"--endless-reply=MI:1"}, Strikes::Connect, kAbnormalText,
       false, 0, 0, "endless reply to MI"},
      {"EndlessReplyToACounterRead", {"--endless-reply=PG:1"}, Strikes::ReadCounts,
       kAbnormalText, true, 0, 0, "endless reply to PG"},
      // The connect steps of the eight-input model are eleven commands.
      {"ConnectionClosedWhileConnected", {"--close-after=11:1"}, Strikes::ReadCounts,
       kClosedByPeerText, true, 0, 0, "closing after 11 commands"},
      {"ConfigPortRefused", {"--model", "25", "--config-refuse=1"}, Strikes::Connect,
       kRefusedText, false, 0, 0, ""},
      {"ConfigDumpNeverEnds", {"--model", "25", "--config-no-end=1"}, Strikes::Connect,
       kTimedOutText, false, receive, receive, "dump without end"},
      {"SilentDiscovery", {"--discovery-silent=1"}, Strikes::Connect, kMsgTargetNotFound, false,
       probe, probe, "no answer"},
      {"DiscoveryFromAnotherPort", {"--discovery-other-port"}, Strikes::Connect, "", true, 0, 0,
       "answer from port"},
      {"OversizeDiscoveryReply", {"--discovery-oversize=1"}, Strikes::Connect,
       kMsgUnsupportedModel, false, 0, 0, "oversize answer"},
  };
}

}  // namespace kestrel::testing
