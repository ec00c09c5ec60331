#pragma once
// The collector's HTTP endpoint: /metrics for the polled devices,
// /probe?target=ADDR[:PORT] for one device on demand and /api/totals from
// the store, optionally behind basic authentication and over TLS.
#include <cstdint>
#include <memory>
#include <string>

#include "collector/http/WebHandler.h"
#include "collector/http/WebOptions.h"

namespace kestrel::collector {

class WebServer {
 public:
  // Starts serving; nullptr and the reason when it cannot (port taken,
  // password file, certificate or key unreadable or wrong).
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
