#include "collector/ServiceOutputs.h"

#include <arpa/inet.h>
#include <unistd.h>

namespace kestrel::collector {

std::string DefaultCollectorId(const std::optional<Shard>& shard) {
  char host[256] = "";
  if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') std::snprintf(host, sizeof host, "localhost");
  std::string id = host;
  if (shard) id += "-shard-" + std::to_string(shard->index) + "-of-" + std::to_string(shard->count);
  return id;
}

std::unique_ptr<ServiceOutputs> ServiceOutputs::Start(OutputOptions options, const PollerRegistry& pollers,
                                                      const PollTimings& timings, std::uint32_t localAddress,
                                                      std::uint32_t localMask, SinkList& sinks,
                                                      OutputHealth& health, MessageOutbox* outbox,
                                                      const std::vector<store::StoredMessage>& kept,
                                                      std::string& error) {
  std::unique_ptr<ServiceOutputs> outputs(new ServiceOutputs());
  outputs->health_ = &health;
  if (options.mqtt) {
    if (options.broker.id.empty()) options.broker.id = DefaultCollectorId(options.shard);
    outputs->mqtt_ = std::make_unique<MqttPublisher>(options.broker, &health, outbox);
    for (const store::StoredMessage& m : kept) outputs->mqtt_->Restore(m.seq, m.message.topic, m.message.payload);
    if (!outputs->mqtt_->Start(error)) return nullptr;
    sinks.Add(*outputs->mqtt_);
  }
  if (options.listen) {
    if (!options.probeAllowGiven)
      options.web.probeAllow.push_back(NetworkOf(ntohl(localAddress), ntohl(localMask)));
    ServiceOutputs* self = outputs.get();
    WebSources sources{outputs->book_, pollers, [self] { return self->CollectorFamilies(); },
                       [localAddress, timings](const DeviceRef& device) {
                         return ProbeOnce(DeviceTarget{device, {}, localAddress}, timings);
                       }};
    sources.storePath = options.storePath;
    outputs->status_ = StatusPages::Start(options.web.webRoot, options.storePath, pollers, error);
    if (!outputs->status_) return nullptr;
    sources.statusPages = outputs->status_.get();
    outputs->web_ = WebServer::Start(options.web, std::move(sources), error);
    if (!outputs->web_) return nullptr;
    sinks.Add(outputs->book_);
    sinks.Add(outputs->status_->sink());
  }
  return outputs;
}

ServiceOutputs::~ServiceOutputs() { Stop(); }

void ServiceOutputs::Stop() {
  if (mqtt_) mqtt_->Stop();
  web_.reset();
}

Families ServiceOutputs::CollectorFamilies() const {
  Families f{BuildInfo(KESTREL_VERSION)};
  std::map<std::string, double> dropped;
  std::map<std::string, double> failures;
  for (const auto& [output, counts] : health_->Snapshot()) {
    dropped[output] = static_cast<double>(counts.dropped);
    failures[output] = static_cast<double>(counts.failures);
  }
  f.push_back(CounterBy("kestrel_output_dropped_total", "Records an output lost (full queue, failed write)",
                        "output", dropped));
  f.push_back(CounterBy("kestrel_output_failures_total", "Writes of an output that failed", "output", failures));
  if (mqtt_) {
    const MqttPublisher::Stats s = mqtt_->stats();
    f.push_back(Gauge("kestrel_mqtt_connected", "Whether the collector is connected to its broker",
                      s.connected ? 1 : 0));
    f.push_back(Gauge("kestrel_mqtt_queue_messages", "Messages waiting for the broker or its acknowledgement",
                      static_cast<double>(s.queued)));
    f.push_back(Counter("kestrel_mqtt_acknowledged_total", "Messages the broker has acknowledged",
                        static_cast<double>(s.acknowledged)));
    f.push_back(Counter("kestrel_mqtt_dropped_total", "Messages dropped because the queue was full",
                        static_cast<double>(s.dropped)));
  }
  return f;
}

}  // namespace kestrel::collector
