#pragma once
// The outputs for other systems, set up from their options: the metrics
// endpoint (with its record book) and the message broker. The collector's
// start-up adds them to its sinks before the pollers start, and stops them
// after the pollers have ended, so the last status reaches the broker. The
// metrics include the health of every output.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "collector/DevicePoller.h"
#include "collector/OutputHealth.h"
#include "collector/OutputOptions.h"
#include "collector/SinkList.h"
#include "collector/http/WebServer.h"
#include "collector/mqtt/MqttPublisher.h"
#include "collector/prometheus/MetricsBook.h"
#include "collector/store/StoredState.h"
#include "collector/status/StatusPages.h"

namespace kestrel::collector {

class ServiceOutputs {
 public:
  // `localAddress` and `localMask` (network byte order) are the interface
  // probes go out from; its network is where /probe may go unless
  // --probe-allow says otherwise. `outbox` (the store's, or nullptr) keeps
  // the broker's messages until acknowledged; `kept` are the ones it kept
  // from the run before, sent first. nullptr and why on failure.
  static std::unique_ptr<ServiceOutputs> Start(OutputOptions options, const PollerRegistry& pollers,
                                               const PollTimings& timings, std::uint32_t localAddress,
                                               std::uint32_t localMask, SinkList& sinks,
                                               OutputHealth& health, MessageOutbox* outbox,
                                               const std::vector<store::StoredMessage>& kept,
                                               std::string& error);
  ~ServiceOutputs();
  void Stop();

  // The port the metrics are served on (0 when they are not).
  std::uint16_t webPort() const { return web_ ? web_->port() : 0; }

 private:
  ServiceOutputs() = default;
  Families CollectorFamilies() const;

  MetricsBook book_;
  const OutputHealth* health_ = nullptr;
  std::unique_ptr<StatusPages> status_;
  std::unique_ptr<MqttPublisher> mqtt_;
  std::unique_ptr<WebServer> web_;
};

// The collector's default name on the broker: the host name, with the share
// when the fleet is split, so that the collectors of one host differ.
std::string DefaultCollectorId(const std::optional<Shard>& shard);

}  // namespace kestrel::collector
