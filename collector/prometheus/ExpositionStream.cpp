#include "collector/prometheus/ExpositionStream.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace kestrel::collector {

namespace {

// Text produced ahead of what the connection asked for, at most about this
// much beyond one device's series.
constexpr std::size_t kProduceAhead = 64 * 1024;

// Doubles as the text format's reference serializer prints them: 16
// significant digits, shortest of fixed and exponent form.
void AppendValue(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "Nan";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-Inf" : "+Inf";
    return;
  }
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 16).ptr;
  out.append(text, end);
}

void AppendCount(std::string& out, std::uint64_t value) {
  char text[24];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  out.append(text, end);
}

void AppendEscaped(std::string& out, const std::string& text, bool quotes) {
  for (const char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '"' && quotes) out += "\\\"";
    else out += c;
  }
}

// One series line's start: name, suffix, the device's labels, any more, and
// the space before the value.
class Line {
 public:
  Line(std::string& out, const DeviceMetrics& d, const char* name, const char* suffix = "") : out_(out) {
    out_ += name;
    out_ += suffix;
    out_ += "{address=\"";
    AppendEscaped(out_, d.device.address, true);
    out_ += ':';
    AppendCount(out_, d.device.port);
    out_ += "\",device=\"";
    AppendEscaped(out_, d.device.name, true);
    out_ += '"';
  }
  Line& Label(const char* name, const std::string& value) {
    out_ += ',';
    out_ += name;
    out_ += "=\"";
    AppendEscaped(out_, value, true);
    out_ += '"';
    return *this;
  }
  void Value(double value) {
    out_ += "} ";
    AppendValue(out_, value);
    out_ += '\n';
  }
  void Count(std::uint64_t value) {
    out_ += "} ";
    AppendCount(out_, value);
    out_ += '\n';
  }

 private:
  std::string& out_;
};

std::string Bound(double bound) {
  std::string text;
  AppendValue(text, bound);
  return text;
}

void AppendHistogram(std::string& out, const char* name, const DeviceMetrics& d, const DurationHistogram& h) {
  Line(out, d, name, "_count").Count(h.count);
  Line(out, d, name, "_sum").Value(h.sum);
  std::uint64_t cumulative = 0;
  for (std::size_t b = 0; b < h.kBounds.size(); ++b) {
    cumulative += h.counts[b];
    Line(out, d, name, "_bucket").Label("le", Bound(h.kBounds[b])).Count(cumulative);
  }
  Line(out, d, name, "_bucket").Label("le", "+Inf").Count(h.count);
}

const char* TypeName(prometheus::MetricType type) {
  switch (type) {
    case prometheus::MetricType::Counter: return "counter";
    case prometheus::MetricType::Gauge: return "gauge";
    case prometheus::MetricType::Histogram: return "histogram";
    case prometheus::MetricType::Summary: return "summary";
    case prometheus::MetricType::Untyped: break;
  }
  return "untyped";
}

std::string InputName(std::size_t k) { return "DI" + std::to_string(k + 1); }

}  // namespace

void AppendDeviceSeries(std::string& out, DeviceFamily family, const DeviceMetrics& d) {
  const char* name = InfoOf(family).name;
  const bool probe = d.probeSeconds.has_value();
  switch (family) {
    case DeviceFamily::Up: Line(out, d, name).Value(d.up ? 1 : 0); break;
    case DeviceFamily::Info:
      if (d.identity)
        Line(out, d, name)
            .Label("model", d.identity->model)
            .Label("product_code", d.identity->productCode)
            .Label("unit", std::to_string(d.identity->unit))
            .Value(1);
      break;
    case DeviceFamily::Counting:
      if (d.identity) Line(out, d, name).Value(d.identity->counting ? 1 : 0);
      break;
    case DeviceFamily::Pulses:
    case DeviceFamily::Count:
      for (std::size_t k = 0; k < kMaxInputs; ++k) {
        const InputMetrics& in = d.inputs[k];
        if (family == DeviceFamily::Pulses && in.counted)
          Line(out, d, name).Label("input", InputName(k)).Value(static_cast<double>(in.total));
        if (family == DeviceFamily::Count && in.present) Line(out, d, name).Label("input", InputName(k)).Value(in.raw);
      }
      break;
    case DeviceFamily::Duration:
      if (!probe) AppendHistogram(out, name, d, d.pollDuration);
      break;
    case DeviceFamily::Lateness:
      if (!probe) AppendHistogram(out, name, d, d.pollLateness);
      break;
    case DeviceFamily::Failures:
      for (std::size_t kind = 1; kind < kFailureKinds; ++kind)
        Line(out, d, name).Label("kind", Name(static_cast<FailureKind>(kind))).Value(static_cast<double>(d.failures[kind]));
      break;
    case DeviceFamily::Reconnects:
      if (!probe) Line(out, d, name).Value(d.connects > 0 ? static_cast<double>(d.connects - 1) : 0);
      break;
    case DeviceFamily::Skipped:
      if (!probe) Line(out, d, name).Value(static_cast<double>(d.skippedSlots));
      break;
    case DeviceFamily::Probe:
      if (probe) Line(out, d, name).Value(*d.probeSeconds);
      break;
  }
}

ExpositionStream::ExpositionStream(std::vector<DeviceMetrics> devices, std::string tail)
    : devices_(std::move(devices)) {
  Restart(std::move(tail));
}

void ExpositionStream::Restart(std::string tail) {
  tail_ = std::move(tail);
  family_ = 0;
  device_ = 0;
  headed_ = false;
  done_ = false;
  pending_.clear();
  pending_.reserve(2 * kProduceAhead);
  taken_ = 0;
}

bool ExpositionStream::Produce() {
  while (family_ < kDeviceFamilyCount && device_ >= devices_.size()) {
    ++family_;
    device_ = 0;
    headed_ = false;
  }
  if (family_ >= kDeviceFamilyCount) {
    if (done_) return false;
    pending_ += tail_;
    done_ = true;
    return true;
  }
  const auto family = static_cast<DeviceFamily>(family_);
  const std::size_t start = pending_.size();
  AppendDeviceSeries(pending_, family, devices_[device_++]);
  // A family without any series has no HELP and TYPE lines either.
  if (!headed_ && pending_.size() > start) {
    const FamilyInfo& info = InfoOf(family);
    std::string head = "# HELP ";
    head += info.name;
    head += ' ';
    AppendEscaped(head, info.help, false);
    head += "\n# TYPE ";
    head += info.name;
    head += ' ';
    head += TypeName(info.type);
    head += '\n';
    pending_.insert(start, head);
    headed_ = true;
  }
  return true;
}

std::size_t ExpositionStream::Read(char* out, std::size_t room) {
  if (taken_ > 0) {
    pending_.erase(0, taken_);
    taken_ = 0;
  }
  const std::size_t want = std::max(room, kProduceAhead);
  while (pending_.size() < want && Produce()) {
  }
  const std::size_t n = std::min(room, pending_.size());
  std::memcpy(out, pending_.data(), n);
  taken_ = n;
  return n;
}

}  // namespace kestrel::collector

namespace kestrel::collector {

std::shared_ptr<ExpositionStream> ExpositionPool::Take() {
  std::unique_ptr<ExpositionStream> stream;
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      stream = std::move(idle_.back());
      idle_.pop_back();
    }
  }
  if (!stream) stream = std::make_unique<ExpositionStream>();
  // The pool lives as long as any stream it handed out.
  return {stream.release(), [pool = shared_from_this()](ExpositionStream* given) {
            std::lock_guard lock(pool->mutex_);
            pool->idle_.emplace_back(given);
          }};
}

}  // namespace kestrel::collector
