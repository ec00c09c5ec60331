#include "collector/status/StatusJson.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "collector/RecordText.h"
#include "common/EnglishHint.h"
#include "report/Json.h"

namespace kestrel::collector {

using report::JsonObject;
using report::JsonString;

namespace {

std::int64_t Seconds(WallClock::time_point t) {
  return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

std::string Number(double value, const char* format) {
  if (!std::isfinite(value)) return "null";
  char text[40];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// 0 down, 1 connecting, 2 up: the order of the fleet table.
int StateRank(const DeviceSnapshot& s) {
  const std::string state = StateName(s);
  return state == "down" ? 0 : state == "connecting" ? 1 : 2;
}

std::string JoinArray(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const std::string& item : items) out += (out.size() > 1 ? "," : "") + item;
  return out + "]";
}

// The members every view of a device shares.
JsonObject DeviceRow(const DeviceSnapshot& s, const ActivitySummary* activity, WallClock::time_point now,
                     const TodayScope& today, bool withRaw) {
  JsonObject row;
  row.Add("name", s.device.name).Add("address", s.device.address + ":" + std::to_string(s.device.port));
  row.Add("state", StateName(s));
  if (activity && activity->stateSince)
    row.Add("for_s", std::max<std::int64_t>(0, Seconds(now) - Seconds(*activity->stateSince)));
  if (s.identity) {
    row.Add("model", s.identity->model).Add("unit", std::int64_t{s.identity->unit});
    row.AddBool("counting", s.identity->counting);
  }
  if (s.lastSample)
    row.Add("sample_age_ms",
            std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(now - s.lastSample->time).count()));
  if (StateRank(s) != 2 && !s.lastError.empty()) {
    row.Add("error", s.lastError);
    if (const std::string hint = EnglishHint(s.lastError); !hint.empty()) row.Add("hint", hint);
  }
  // The inputs of the last good sample; a rate only while the device is up,
  // since an old rate is not the rate now.
  std::vector<std::string> inputs;
  if (s.lastSample) {
    const bool current = StateRank(s) == 2;
    const bool todayKnown = activity && activity->today.dayStart == LocalDayStart(today.from);
    for (int k = 0; k < s.lastSample->inputCount && k < kMaxInputs; ++k) {
      const InputValue& v = s.lastSample->inputs[k];
      if (!v.present) continue;
      JsonObject input;
      input.Add("input", "DI" + std::to_string(k + 1));
      if (current && v.rate) input.AddRaw("rate", Number(*v.rate, "%.3f"));
      input.Add("today", static_cast<std::int64_t>(todayKnown ? activity->today.inputs[k].value_or(0) : 0));
      input.Add("total", static_cast<std::int64_t>(v.total));
      if (withRaw) input.Add("raw", std::int64_t{v.raw});
      inputs.push_back(input.str());
    }
  }
  row.AddRaw("inputs", JoinArray(inputs));
  return row;
}

JsonObject Head(WallClock::time_point now, const TodayScope& today, bool store) {
  JsonObject head;
  head.Add("time", IsoTime(now));
  head.Add("today_from", IsoTime(WallClock::time_point(std::chrono::seconds(today.from))));
  head.AddBool("today_since_start", today.sinceStart).AddBool("store", store);
  return head;
}

const char* PeriodText(std::int32_t code) {
  static const char* const kTexts[] = {"start-stop", "0.1 s", "1 s", "10 s"};
  return code >= 0 && code < 4 ? kTexts[code] : "unknown";
}

}  // namespace

TodayScope TodayScopeAt(WallClock::time_point now, WallClock::time_point started, bool store) {
  const std::int64_t midnight = LocalDayStart(Seconds(now));
  if (store || Seconds(started) < midnight) return {midnight, false};
  return {Seconds(started), true};
}

const char* StateName(const DeviceSnapshot& s) {
  if (s.status == DeviceStatus::Up) return "up";
  if (s.status == DeviceStatus::Down || s.lastFailure != FailureKind::None) return "down";
  return "connecting";
}

std::string DevicesJson(std::vector<DeviceSnapshot> snapshots, const std::map<std::string, ActivitySummary>& activity,
                        WallClock::time_point now, const TodayScope& today, bool store) {
  std::sort(snapshots.begin(), snapshots.end(), [](const DeviceSnapshot& a, const DeviceSnapshot& b) {
    const int ra = StateRank(a), rb = StateRank(b);
    return ra != rb ? ra < rb : a.device.name < b.device.name;
  });
  std::string rows = "[";
  rows.reserve(snapshots.size() * 700);
  for (const DeviceSnapshot& s : snapshots) {
    const auto found = activity.find(s.device.name);
    if (rows.size() > 1) rows += ",\n";
    rows += DeviceRow(s, found == activity.end() ? nullptr : &found->second, now, today, false).str();
  }
  return Head(now, today, store).AddRaw("devices", rows + "]").str() + "\n";
}

std::string DeviceJson(const DeviceSnapshot& s, const ActivitySummary& activity, const std::vector<RecentEvent>& events,
                       std::chrono::milliseconds interval, WallClock::time_point now, const TodayScope& today,
                       bool store) {
  JsonObject settings;
  settings.Add("interval_ms", static_cast<std::int64_t>(interval.count()));
  if (s.identity) {
    const DeviceIdentity& id = *s.identity;
    settings.Add("product_code", id.productCode).Add("count_period", PeriodText(id.countPeriod));
    settings.Add("chatter_ms", std::int64_t{id.chatterCode}).Add("model_inputs", std::int64_t{id.inputCount});
    std::vector<std::string> inputs;
    for (int k = 0; k < id.inputCount && k < kMaxInputs; ++k)
      inputs.push_back(JsonObject()
                           .Add("input", "DI" + std::to_string(k + 1))
                           .AddBool("enabled", id.enabled[k])
                           .Add("edge", id.edge[k] == 0 ? "rise" : "fall")
                           .str());
    settings.AddRaw("inputs", JoinArray(inputs));
  }
  JsonObject failures;
  for (const auto& [kind, count] : s.failures) failures.Add(Name(kind), static_cast<std::int64_t>(count));
  JsonObject counters;
  counters.Add("connects", static_cast<std::int64_t>(s.connects)).Add("samples", static_cast<std::int64_t>(s.samples));
  counters.Add("skipped_slots", static_cast<std::int64_t>(s.skippedSlots)).AddRaw("failures", failures.str());
  std::vector<std::string> list;
  for (const RecentEvent& e : events) {
    JsonObject item;
    item.Add("time", IsoTime(e.time)).Add("kind", e.kind).Add("text", e.text);
    if (e.repeats > 1) item.Add("repeats", static_cast<std::int64_t>(e.repeats)).Add("last", IsoTime(e.last));
    if (!e.message.empty()) {
      item.Add("message", e.message);
      if (const std::string hint = EnglishHint(e.message); !hint.empty()) item.Add("hint", hint);
    }
    list.push_back(item.str());
  }
  return Head(now, today, store)
             .AddRaw("device", DeviceRow(s, &activity, now, today, true).str())
             .AddRaw("settings", settings.str())
             .AddRaw("counters", counters.str())
             .AddRaw("events", JoinArray(list))
             .str() +
         "\n";
}

}  // namespace kestrel::collector
