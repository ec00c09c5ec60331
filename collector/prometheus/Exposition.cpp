#include "collector/prometheus/Exposition.h"

#include <array>
#include <limits>
#include <sstream>

#include <prometheus/text_serializer.h>

namespace kestrel::collector {

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

std::string InputName(std::size_t k) { return "DI" + std::to_string(k + 1); }

std::vector<ClientMetric::Label> DeviceLabels(const DeviceRef& device) {
  return {{"address", device.address + ":" + std::to_string(device.port)}, {"device", device.name}};
}

ClientMetric Metric(std::vector<ClientMetric::Label> labels, MetricType type, double value) {
  ClientMetric m;
  m.label = std::move(labels);
  if (type == MetricType::Counter) m.counter.value = value;
  if (type == MetricType::Gauge) m.gauge.value = value;
  return m;
}

ClientMetric::Histogram HistogramOf(const DurationHistogram& h) {
  ClientMetric::Histogram out;
  out.sample_count = h.count;
  out.sample_sum = h.sum;
  std::uint64_t cumulative = 0;
  for (std::size_t b = 0; b < h.kBounds.size(); ++b) {
    cumulative += h.counts[b];
    out.bucket.push_back({cumulative, h.kBounds[b]});
  }
  out.bucket.push_back({h.count, std::numeric_limits<double>::infinity()});
  return out;
}

constexpr std::array<FamilyInfo, kDeviceFamilyCount> kFamilies{{
    {"kestrel_device_up", "Whether the device answers: 1 connected and read, 0 not", MetricType::Gauge},
    {"kestrel_device_info", "The device as identified at its last connect (value 1)", MetricType::Gauge},
    {"kestrel_counting", "Whether pulse counting is switched on (1) or off (0)", MetricType::Gauge},
    {"kestrel_pulses_total",
     "Pulses counted on the input since the collector started, across counter wraps and device resets",
     MetricType::Counter},
    {"kestrel_device_pulses", "The device's own 32-bit counter of the input as last read", MetricType::Gauge},
    {"kestrel_poll_duration_seconds", "Time the counter reads of a poll took", MetricType::Histogram},
    {"kestrel_poll_lateness_seconds", "Time from a poll's scheduled slot until its counters were read",
     MetricType::Histogram},
    {"kestrel_poll_failures_total", "Failed polls and connect attempts by kind", MetricType::Counter},
    {"kestrel_reconnects_total", "Connections made again after the first", MetricType::Counter},
    {"kestrel_skipped_slots_total", "Poll slots passed over because a poll overran", MetricType::Counter},
    {"kestrel_probe_duration_seconds", "How long the probe took", MetricType::Gauge},
}};

MetricFamily Family(DeviceFamily f) {
  const FamilyInfo& info = InfoOf(f);
  return {info.name, info.help, info.type, {}};
}

// The families in the order they are printed; each gets its series below.
struct DeviceFamilySet {
  MetricFamily up = Family(DeviceFamily::Up);
  MetricFamily info = Family(DeviceFamily::Info);
  MetricFamily counting = Family(DeviceFamily::Counting);
  MetricFamily pulses = Family(DeviceFamily::Pulses);
  MetricFamily count = Family(DeviceFamily::Count);
  MetricFamily duration = Family(DeviceFamily::Duration);
  MetricFamily lateness = Family(DeviceFamily::Lateness);
  MetricFamily failures = Family(DeviceFamily::Failures);
  MetricFamily reconnects = Family(DeviceFamily::Reconnects);
  MetricFamily skipped = Family(DeviceFamily::Skipped);
  MetricFamily probe = Family(DeviceFamily::Probe);
};

void AddDevice(DeviceFamilySet& f, const DeviceMetrics& d) {
  const auto labels = DeviceLabels(d.device);
  const auto with = [&](std::string name, std::string value) {
    auto l = labels;
    l.push_back({std::move(name), std::move(value)});
    return l;
  };
  f.up.metric.push_back(Metric(labels, MetricType::Gauge, d.up ? 1 : 0));
  if (d.identity) {
    auto l = labels;
    l.push_back({"model", d.identity->model});
    l.push_back({"product_code", d.identity->productCode});
    l.push_back({"unit", std::to_string(d.identity->unit)});
    f.info.metric.push_back(Metric(l, MetricType::Gauge, 1));
    f.counting.metric.push_back(Metric(labels, MetricType::Gauge, d.identity->counting ? 1 : 0));
  }
  for (std::size_t k = 0; k < kMaxInputs; ++k) {
    const InputMetrics& in = d.inputs[k];
    if (in.counted) f.pulses.metric.push_back(Metric(with("input", InputName(k)), MetricType::Counter,
                                                     static_cast<double>(in.total)));
    if (in.present) f.count.metric.push_back(Metric(with("input", InputName(k)), MetricType::Gauge, in.raw));
  }
  for (std::size_t kind = 1; kind < kFailureKinds; ++kind)
    f.failures.metric.push_back(Metric(with("kind", Name(static_cast<FailureKind>(kind))),
                                       MetricType::Counter, static_cast<double>(d.failures[kind])));
  if (d.probeSeconds) {
    f.probe.metric.push_back(Metric(labels, MetricType::Gauge, *d.probeSeconds));
    return;  // a single probe has no history of polls and connections
  }
  for (const auto& [family, histogram] :
       {std::pair{&f.duration, &d.pollDuration}, std::pair{&f.lateness, &d.pollLateness}}) {
    ClientMetric h;
    h.label = labels;
    h.histogram = HistogramOf(*histogram);
    family->metric.push_back(std::move(h));
  }
  f.reconnects.metric.push_back(
      Metric(labels, MetricType::Counter, d.connects > 0 ? static_cast<double>(d.connects - 1) : 0));
  f.skipped.metric.push_back(Metric(labels, MetricType::Counter, static_cast<double>(d.skippedSlots)));
}

}  // namespace

const FamilyInfo& InfoOf(DeviceFamily family) { return kFamilies[static_cast<std::size_t>(family)]; }

Families DeviceFamilies(const std::vector<DeviceMetrics>& devices) {
  DeviceFamilySet f;
  for (const DeviceMetrics& d : devices) AddDevice(f, d);
  Families all;
  for (MetricFamily* family : {&f.up, &f.info, &f.counting, &f.pulses, &f.count, &f.duration,
                               &f.lateness, &f.failures, &f.reconnects, &f.skipped, &f.probe})
    if (!family->metric.empty()) all.push_back(std::move(*family));
  return all;
}

DeviceMetrics ProbeMetrics(const DeviceRef& device, const ProbeOutcome& outcome) {
  DeviceMetrics d;
  d.device = device;
  d.up = outcome.ok;
  d.identity = outcome.identity;
  if (outcome.sample) {
    for (std::size_t k = 0; k < kMaxInputs; ++k) {
      const InputValue& v = outcome.sample->inputs[k];
      if (!v.present) continue;
      d.inputs[k] = InputMetrics{true, true, v.raw, v.raw};
    }
  }
  if (!outcome.ok) d.failures[static_cast<std::size_t>(outcome.failure)] = 1;
  d.probeSeconds = std::chrono::duration<double>(outcome.duration).count();
  return d;
}

MetricFamily BuildInfo(const std::string& version) {
  MetricFamily f{"kestrel_collector_build_info", "The collector's version (value 1)", MetricType::Gauge, {}};
  f.metric.push_back(Metric({{"version", version}}, MetricType::Gauge, 1));
  return f;
}

MetricFamily Gauge(const std::string& name, const std::string& help, double value) {
  MetricFamily f{name, help, MetricType::Gauge, {}};
  f.metric.push_back(Metric({}, MetricType::Gauge, value));
  return f;
}

MetricFamily Counter(const std::string& name, const std::string& help, double value) {
  MetricFamily f{name, help, MetricType::Counter, {}};
  f.metric.push_back(Metric({}, MetricType::Counter, value));
  return f;
}

MetricFamily CounterBy(const std::string& name, const std::string& help, const std::string& label,
                       const std::map<std::string, double>& values) {
  MetricFamily f{name, help, MetricType::Counter, {}};
  for (const auto& [key, value] : values) f.metric.push_back(Metric({{label, key}}, MetricType::Counter, value));
  return f;
}

std::string Serialize(const Families& families) {
  std::ostringstream out;
  prometheus::TextSerializer().Serialize(out, families);
  return out.str();
}

}  // namespace kestrel::collector
