#pragma once
// What the collector's HTTP endpoint answers, apart from the HTTP library
// that carries it: a request's method, path, query and credentials in; a
// status, headers and body out.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "collector/DevicePoller.h"
#include "collector/http/BasicAuth.h"
#include "collector/http/ProbeRequest.h"
#include "collector/prometheus/Exposition.h"
#include "collector/prometheus/ExpositionStream.h"
#include "collector/prometheus/MetricsBook.h"

namespace kestrel::collector {

class StatusPages;

// Where the answers come from. Everything must outlive the handler.
struct WebSources {
  const MetricsBook& book;
  const PollerRegistry& pollers;
  // The families about the collector itself (build info, message bus).
  std::function<Families()> collectorFamilies;
  // Connect steps and one read for a device that is not polled (ProbeOnce
  // with the collector's time-outs and interface).
  std::function<ProbeOutcome(const DeviceRef&)> probe;
  std::uint16_t defaultDevicePort = kDefaultPort;
  // The store the collector writes, for /api/totals; none: 404.
  std::optional<std::string> storePath = std::nullopt;
  // The live status page ("/", its files and JSON); none: "/" only links
  // to the metrics.
  const StatusPages* statusPages = nullptr;
};

struct WebRequest {
  std::string method;
  std::string path;                          // without the query
  std::string query;                         // after '?', still percent-escaped
  std::optional<std::string> authorization;  // the Authorization header
};

// A body made piece by piece as the connection takes it, for answers too
// large to build at once: each call fills up to `room` bytes of `out` and
// returns how many; 0 ends the body.
using BodySource = std::function<std::size_t(char* out, std::size_t room)>;

struct WebReply {
  int status = 200;
  std::string contentType;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // beyond Content-Type
  BodySource stream = nullptr;  // when set, the body instead of `body`
};

class WebHandler {
 public:
  // A second probe of the same device waits for the first; longer than the
  // connect steps' own bounds, so it only runs out when something is stuck.
  static constexpr std::chrono::seconds kProbeQueueWait{60};

  // Without `passwords` every request is let in.
  WebHandler(WebSources sources, std::vector<Cidr> probeAllow, std::optional<PasswordFile> passwords);
  ~WebHandler();
  WebHandler(const WebHandler&) = delete;
  WebHandler& operator=(const WebHandler&) = delete;

  // Called from several threads at once: a probe blocks for its connect
  // steps and read while other requests are answered.
  WebReply Answer(const WebRequest& request);

 private:
  class BusyDevices;

  WebReply Metrics() const;
  WebReply Probe(const std::string& query);
  WebReply Totals(const std::string& query) const;
  Families WithCollector(Families families) const;
  static WebReply Streamed(std::shared_ptr<ExpositionStream> text);

  WebSources sources_;
  std::vector<Cidr> probeAllow_;
  std::optional<PasswordFile> passwords_;
  std::unique_ptr<BusyDevices> busy_;
  std::shared_ptr<ExpositionPool> scrapes_;
};

}  // namespace kestrel::collector
