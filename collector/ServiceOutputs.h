#pragma once
// The outputs for other systems, set up from their options: the metrics
// endpoint (with its record book) and the message broker. The collector's
// start-up adds them to its sinks before the pollers start, and stops them
// after the pollers have ended, so the last status reaches the broker.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "collector/DevicePoller.h"
#include "collector/OutputOptions.h"
#include "collector/SinkList.h"
#include "collector/http/WebServer.h"
#include "collector/mqtt/MqttPublisher.h"
#include "collector/prometheus/MetricsBook.h"
#include "collector/status/StatusPages.h"

namespace kestrel::collector {

class ServiceOutputs {
 public:
  // `localAddress` and `localMask` (network byte order) are the interface
  // probes go out from; its network is where /probe may go unless
  // --probe-allow says otherwise. nullptr and why on failure.
  static std::unique_ptr<ServiceOutputs> Start(OutputOptions options, const PollerRegistry& pollers,
                                               const PollTimings& timings, std::uint32_t localAddress,
                                               std::uint32_t localMask, SinkList& sinks,
                                               std::string& error);
  ~ServiceOutputs();
  void Stop();

  // The port the metrics are served on (0 when they are not).
  std::uint16_t webPort() const { return web_ ? web_->port() : 0; }

 private:
  ServiceOutputs() = default;
  Families CollectorFamilies() const;

  MetricsBook book_;
  std::unique_ptr<StatusPages> status_;
  std::unique_ptr<MqttPublisher> mqtt_;
  std::unique_ptr<WebServer> web_;
};

// The collector's default name on the broker: the host name, with the share
// when the fleet is split, so that the collectors of one host differ.
std::string DefaultCollectorId(const std::optional<Shard>& shard);

}  // namespace kestrel::collector
