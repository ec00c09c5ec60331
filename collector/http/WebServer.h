#pragma once
// The collector's HTTP endpoint: /metrics for the polled devices and
// /probe?target=ADDR[:PORT] for one device on demand, optionally behind basic
// authentication.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "collector/DevicePoller.h"
#include "collector/http/WebOptions.h"
#include "collector/prometheus/Exposition.h"
#include "collector/prometheus/MetricsBook.h"

namespace kestrel::collector {

// Where the server finds what it answers with. Everything must outlive it.
struct WebSources {
  const MetricsBook& book;
  const PollerRegistry& pollers;
  // The families about the collector itself (build info, message bus).
  std::function<Families()> collectorFamilies;
  // Connect steps and one read for a device that is not polled (ProbeOnce
  // with the collector's time-outs and interface).
  std::function<ProbeOutcome(const DeviceRef&)> probe;
  std::uint16_t defaultDevicePort = kDefaultPort;
};

class WebServer {
 public:
  // Starts serving; nullptr and the reason when it cannot (port taken,
  // password file unreadable or wrong).
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
