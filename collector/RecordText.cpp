#include "collector/RecordText.h"

#include <charconv>
#include <cstdio>
#include <ctime>

#include "report/Json.h"
#include "report/LocalClock.h"
#include "report/SampleHeader.h"

namespace kestrel::collector {

using report::JsonObject;

namespace {

report::LocalTimestamp LocalFields(WallClock::time_point time) {
  using namespace std::chrono;
  const auto sinceEpoch = duration_cast<milliseconds>(time.time_since_epoch());
  const auto seconds = static_cast<std::time_t>(duration_cast<std::chrono::seconds>(sinceEpoch).count());
  report::LocalTimestamp t;
  localtime_r(&seconds, &t.fields);
  t.milliseconds = static_cast<int>(sinceEpoch.count() % 1000);
  t.offsetMinutes = static_cast<int>(t.fields.tm_gmtoff / 60);
  return t;
}

// As printf's "%.3f" writes it, without its locale and format parsing.
std::string Rate(double rate) {
  char text[400];  // room for any double in fixed notation
  return {text, std::to_chars(text, text + sizeof text, rate, std::chars_format::fixed, 3).ptr};
}

JsonObject Head(const char* type, WallClock::time_point time, const DeviceRef& device) {
  JsonObject o;
  o.Add("type", type).Add("time", IsoTime(time)).Add("device", device.name);
  o.Add("address", device.address).Add("port", std::int64_t{device.port});
  return o;
}

std::string InputsJson(const Sample& sample) {
  JsonObject inputs;
  for (std::int32_t k = 0; k < sample.inputCount && k < kMaxInputs; ++k) {
    const InputValue& v = sample.inputs[k];
    if (!v.present) continue;
    JsonObject input;
    input.Add("raw", std::int64_t{v.raw})
        .Add("increase", static_cast<std::int64_t>(v.increase))
        .Add("total", static_cast<std::int64_t>(v.total));
    if (v.rate) input.AddRaw("rate", Rate(*v.rate));
    input.AddBool("wrapped", v.wrapped).AddBool("reset", v.reset);
    inputs.AddRaw("DI" + std::to_string(k + 1), input.str());
  }
  return inputs.str();
}

std::string IdentityJson(const DeviceIdentity& id) {
  std::string enabled = "[";
  for (std::int32_t k = 0; k < id.inputCount && k < kMaxInputs; ++k) {
    if (!id.enabled[k]) continue;
    if (enabled.size() > 1) enabled += ',';
    enabled += report::JsonString("DI" + std::to_string(k + 1));
  }
  return JsonObject()
      .Add("model", id.model)
      .Add("unit", std::int64_t{id.unit})
      .Add("product_code", id.productCode)
      .AddBool("counting", id.counting)
      .Add("period", std::int64_t{id.countPeriod})
      .Add("chatter", std::int64_t{id.chatterCode})
      .Add("inputs", std::int64_t{id.inputCount})
      .AddRaw("enabled", enabled + "]")
      .str();
}

}  // namespace

std::string IsoTime(WallClock::time_point time) { return report::FormatIsoTimestamp(LocalFields(time)); }

std::string LocalDate(WallClock::time_point time) {
  const report::LocalTimestamp t = LocalFields(time);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.fields.tm_year + 1900, t.fields.tm_mon + 1,
                t.fields.tm_mday);
  return text;
}

std::string SampleJson(const Sample& sample) {
  JsonObject o = Head("sample", sample.time, sample.device);
  o.Add("late_ms", static_cast<std::int64_t>(sample.lateness.count()));
  if (sample.gap.count() > 0) o.Add("gap_ms", static_cast<std::int64_t>(sample.gap.count()));
  if (sample.resumed) o.Add("resumed", IsoTime(*sample.resumed));
  return o.AddRaw("inputs", InputsJson(sample)).str();
}

std::string EventJson(const Event& event) {
  // An event about the collector itself names no device.
  if (event.kind == EventKind::Output) {
    JsonObject o;
    o.Add("type", "event").Add("time", IsoTime(event.time)).Add("event", Name(event.kind));
    return o.Add("output", event.output).Add("message", event.message).str();
  }
  JsonObject o = Head("event", event.time, event.device);
  o.Add("event", Name(event.kind));
  if (event.kind == EventKind::Failure) {
    o.Add("failure", Name(event.failure)).Add("step", Name(event.step));
    if (event.errorNumber != 0) o.Add("error", static_cast<std::int64_t>(event.errorNumber));
    o.Add("message", event.message);
    o.Add("retry_ms", static_cast<std::int64_t>(event.retryIn.count()));
  }
  if (event.kind == EventKind::Skip) o.Add("skipped", static_cast<std::int64_t>(event.skipped));
  if (event.kind == EventKind::StateDiscarded) o.Add("message", event.message);
  if (event.identity && (event.kind == EventKind::Connect || event.kind == EventKind::SettingsChanged))
    o.AddRaw("identity", IdentityJson(*event.identity));
  return o.str();
}

std::string CsvHeader(std::int32_t inputCount) {
  std::string header = report::SampleHeader(inputCount);
  for (std::int32_t k = 0; k < inputCount; ++k) header += ",DI" + std::to_string(k + 1) + " increase";
  return header;
}

std::string CsvRow(const Sample& sample) {
  std::string raw;
  std::string increases;
  for (std::int32_t k = 0; k < sample.inputCount && k < kMaxInputs; ++k) {
    const InputValue& v = sample.inputs[k];
    raw += ',';
    increases += ',';
    if (!v.present) continue;
    raw += std::to_string(v.raw);
    increases += std::to_string(v.increase);
  }
  return IsoTime(sample.time) + raw + increases;
}

}  // namespace kestrel::collector
