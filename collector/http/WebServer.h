#pragma once
// The collector's HTTP endpoint: /metrics for the polled devices and
// /probe?target=ADDR[:PORT] for one device on demand, optionally behind basic
// authentication and TLS.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "collector/DevicePoller.h"
#include "collector/http/ProbeRequest.h"
#include "collector/prometheus/Exposition.h"
#include "collector/prometheus/MetricsBook.h"

namespace kestrel::collector {

// Our own port, next to the range other exporters use, so a collector and
// the usual exporters can run on one machine.
inline constexpr std::uint16_t kDefaultWebPort = 9731;

struct WebOptions {
  std::string listenAddress = "127.0.0.1";
  std::uint16_t listenPort = kDefaultWebPort;
  std::optional<std::string> authFile;  // USER:HASH lines
  std::optional<std::string> tlsCert;   // PEM with the certificate and its private key
  std::vector<Cidr> probeAllow;         // empty: no probe is allowed
};

// Where the server finds what it answers with. Everything must outlive it.
struct WebSources {
  const MetricsBook& book;
  const PollerRegistry& pollers;
  // The families about the collector itself (build info, message bus).
  std::function<Families()> collectorFamilies;
  // Connect steps and one read for a device that is not polled (ProbeOnce
  // with the collector's time-outs and interface).
  std::function<ProbeOutcome(const DeviceRef&)> probe;
  std::uint16_t defaultDevicePort = 10003;
};

class WebServer {
 public:
  // Starts serving; nullptr and the reason when it cannot (port taken,
  // password file unreadable or wrong, certificate refused).
  static std::unique_ptr<WebServer> Start(const WebOptions& options, WebSources sources,
                                          std::string& error);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // The port actually listened on (useful when 0 was asked for).
  std::uint16_t port() const;

  struct Impl;

 private:
  explicit WebServer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrel::collector
