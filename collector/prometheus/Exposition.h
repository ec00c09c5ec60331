#pragma once
// The metrics in Prometheus's text exposition format. Names and labels follow
// Prometheus's conventions: base units (seconds), _total for counters, one
// info metric with value 1 for the descriptive labels, and every series of a
// device labelled by its name and address:port, so two devices never mix.
#include <map>
#include <string>
#include <vector>

#include <prometheus/metric_family.h>

#include "collector/DevicePoller.h"
#include "collector/prometheus/MetricsBook.h"

namespace kestrel::collector {

using Families = std::vector<prometheus::MetricFamily>;

// The families of a device's series, in the order they are printed.
enum class DeviceFamily {
  Up,
  Info,
  Counting,
  Pulses,
  Count,
  Duration,
  Lateness,
  Failures,
  Reconnects,
  Skipped,
  Probe,
};
inline constexpr std::size_t kDeviceFamilyCount = 11;

struct FamilyInfo {
  const char* name;
  const char* help;
  prometheus::MetricType type;
};
const FamilyInfo& InfoOf(DeviceFamily family);

// The families of the devices, each device's series in the given order.
// Series that say nothing yet (a raw count of a device that is down, the
// model of a device never identified) are left out rather than made up.
Families DeviceFamilies(const std::vector<DeviceMetrics>& devices);

// The answer to a probe of a device that is not polled: the same names; its
// pulse counter is the device's own counter (a wrap or device reset shows
// to Prometheus as a counter reset, which rate() and increase() take in
// their stride), and the probe's duration.
DeviceMetrics ProbeMetrics(const DeviceRef& device, const ProbeOutcome& outcome);

// kestrel_collector_build_info{version="..."} 1
prometheus::MetricFamily BuildInfo(const std::string& version);

prometheus::MetricFamily Gauge(const std::string& name, const std::string& help, double value);
prometheus::MetricFamily Counter(const std::string& name, const std::string& help, double value);
// One counter per value of `label`: name{label="KEY"} VALUE.
prometheus::MetricFamily CounterBy(const std::string& name, const std::string& help, const std::string& label,
                                   const std::map<std::string, double>& values);

std::string Serialize(const Families& families);

// The content type of the text format.
inline constexpr char kExpositionType[] = "text/plain; version=0.0.4; charset=utf-8";

}  // namespace kestrel::collector
