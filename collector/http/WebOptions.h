#pragma once
// How the collector's HTTP endpoint is set up.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "collector/http/ProbeRequest.h"

namespace kestrel::collector {

// Our own port, next to the range other exporters use, so a collector and
// the usual exporters can run on one machine.
inline constexpr std::uint16_t kDefaultWebPort = 9731;

struct WebOptions {
  std::string listenAddress = "127.0.0.1";
  std::uint16_t listenPort = kDefaultWebPort;
  std::optional<std::string> authFile;  // USER:HASH lines
  std::vector<Cidr> probeAllow;         // empty: no probe is allowed
  // HTTPS with this certificate (chain) and its private key, both PEM;
  // both or neither.
  std::optional<std::string> tlsCertFile;
  std::optional<std::string> tlsKeyFile;
  // The status page's files (--web-root); the installed ones when not given.
  std::optional<std::string> webRoot;
};

}  // namespace kestrel::collector
