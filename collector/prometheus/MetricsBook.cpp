#include "collector/prometheus/MetricsBook.h"

namespace kestrel::collector {

void DurationHistogram::Observe(double seconds) {
  for (std::size_t b = 0; b < kBounds.size(); ++b) {
    if (seconds <= kBounds[b]) {
      ++counts[b];
      break;
    }
  }
  ++count;
  sum += seconds;
}

DeviceMetrics& MetricsBook::Entry(const DeviceRef& device) {
  DeviceMetrics& entry = devices_[{device.address, device.port}];
  entry.device = device;
  return entry;
}

void MetricsBook::OnSample(const Sample& sample) {
  std::lock_guard lock(mutex_);
  DeviceMetrics& d = Entry(sample.device);
  for (std::size_t k = 0; k < kMaxInputs; ++k) {
    const InputValue& v = sample.inputs[k];
    InputMetrics& m = d.inputs[k];
    m.present = v.present;
    if (!v.present) continue;
    m.counted = true;
    m.raw = v.raw;
    m.total = v.total;
  }
  // The reads themselves (the device's and the network's speed), and how
  // late after its slot the poll got its counters (the reads plus any wait
  // for the thread to run): two questions, two histograms.
  d.pollDuration.Observe(std::chrono::duration<double>(sample.pollDuration).count());
  d.pollLateness.Observe(std::chrono::duration<double>(sample.lateness).count());
}

void MetricsBook::OnEvent(const Event& event) {
  // The outputs' health has metrics of its own; it is no device.
  if (event.kind == EventKind::Output) return;
  std::lock_guard lock(mutex_);
  DeviceMetrics& d = Entry(event.device);
  switch (event.kind) {
    case EventKind::Connect:
      ++d.connects;
      break;
    case EventKind::Failure:
      ++d.failures[static_cast<std::size_t>(event.failure)];
      break;
    case EventKind::Skip:
      d.skippedSlots += event.skipped;
      break;
    case EventKind::Disconnect:
    case EventKind::SettingsChanged:
    case EventKind::StateDiscarded:
    case EventKind::Output:
      break;
  }
  if (event.identity) d.identity = event.identity;
}

void MetricsBook::OnStatus(const StatusChange& change) {
  std::lock_guard lock(mutex_);
  DeviceMetrics& d = Entry(change.device);
  d.up = change.status == DeviceStatus::Up;
  if (change.identity) d.identity = change.identity;
  // A device that is not up has no current counter value to show; its
  // totals stay, since counters must never go back.
  if (!d.up)
    for (InputMetrics& m : d.inputs) m.present = false;
}

std::vector<DeviceMetrics> MetricsBook::Devices() const {
  std::vector<DeviceMetrics> all;
  CopyDevices(all);
  return all;
}

void MetricsBook::CopyDevices(std::vector<DeviceMetrics>& into) const {
  std::lock_guard lock(mutex_);
  into.resize(devices_.size());
  auto out = into.begin();
  for (const auto& [key, d] : devices_) *out++ = d;
}

std::optional<DeviceMetrics> MetricsBook::Find(const std::string& address, std::uint16_t port) const {
  std::lock_guard lock(mutex_);
  const auto it = devices_.find({address, port});
  if (it == devices_.end()) return std::nullopt;
  return it->second;
}

}  // namespace kestrel::collector
