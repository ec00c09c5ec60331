#pragma once
// The fault matrix: each fault kestrel-sim injects, the operation it strikes,
// and what the operator must see. The core and the window run the same table.
#include <ostream>
#include <string>
#include <vector>

namespace kestrel::testing {

enum class Strikes { Connect, ReadCounts };

struct FaultCase {
  const char* name;
  std::vector<std::string> options;  // simulator options that inject the fault
  Strikes strikes;                   // the operation the fault hits
  std::string message;               // the one message shown; empty for none
  bool connectedAfter;
  long long minMs;     // the operation waits at least this (a time-out running out)
  long long maxMs;     // and at most this plus kFaultSlackMs
  const char* logged;  // the simulator's note that the fault struck (the refusing
                       // port leaves none: nothing listens)
};

inline void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

// Added to every upper bound: the fault's own wait is in the case, this only
// covers the exchanges around it on a loaded machine (sanitizer builds run
// beside other tests).
inline constexpr long long kFaultSlackMs = 1500;

inline const std::string kTimedOutText = "ネットワークエラー:R 10060\r\n";
inline const std::string kClosedByPeerText = "ネットワークエラー:R 10054\r\n";
inline const std::string kRefusedText = "ネットワークエラー:C 10061\r\n";
inline const std::string kAbnormalText = "受信データ異常\r\n";

// With the shortened waits of ShortChannelTimeouts and ShortProbeSettings.
std::vector<FaultCase> FaultCases();

}  // namespace kestrel::testing
