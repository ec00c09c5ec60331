#include "collector/status/DeviceActivity.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "collector/RecordText.h"

namespace kestrel::collector {

namespace {

std::int64_t Seconds(WallClock::time_point t) {
  return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

std::string SecondsText(std::chrono::milliseconds ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms.count()) / 1000.0);
  return text;
}

std::string IdentityText(const DeviceIdentity& id) {
  return id.model + " unit " + std::to_string(id.unit) + ", counting " + (id.counting ? "on" : "off");
}

}  // namespace

std::int64_t LocalDayStart(std::int64_t t) {
  const std::time_t now = static_cast<std::time_t>(t);
  std::tm fields{};
  localtime_r(&now, &fields);
  fields.tm_hour = fields.tm_min = fields.tm_sec = 0;
  fields.tm_isdst = -1;  // whatever holds at that midnight
  return static_cast<std::int64_t>(std::mktime(&fields));
}

void DeviceActivity::SeedToday(const std::string& device, int input, std::uint64_t pulses, std::int64_t dayStart) {
  if (input < 1 || input > kMaxInputs) return;
  std::lock_guard lock(mutex_);
  DayPulses& today = devices_[device].summary.today;
  if (today.dayStart != dayStart) today = DayPulses{dayStart, {}};
  today.inputs[input - 1] = today.inputs[input - 1].value_or(0) + pulses;
}

void DeviceActivity::Add(Device& d, WallClock::time_point time, std::string kind, std::string text,
                         std::string message) {
  if (!d.events.empty()) {
    RecentEvent& newest = d.events.back();
    if (newest.kind == kind && newest.text == text && newest.message == message) {
      ++newest.repeats;
      newest.last = time;
      return;
    }
  }
  d.events.push_back(RecentEvent{time, time, 1, std::move(kind), std::move(text), std::move(message)});
  if (d.events.size() > kRecentEvents) d.events.pop_front();
}

// Counted in the day the sample was read in, as the store counts it in the
// sample's minute: a gap's pulses land where the sample that brings them is.
void DeviceActivity::OnSample(const Sample& s) {
  const std::int64_t day = LocalDayStart(Seconds(s.time));
  std::lock_guard lock(mutex_);
  Device& d = devices_[s.device.name];
  DayPulses& today = d.summary.today;
  if (day > today.dayStart) today = DayPulses{day, {}};
  for (int k = 0; k < s.inputCount && k < kMaxInputs; ++k) {
    const InputValue& v = s.inputs[k];
    if (!v.present) continue;
    if (day == today.dayStart) today.inputs[k] = today.inputs[k].value_or(0) + v.increase;
    const std::string input = "DI" + std::to_string(k + 1);
    if (v.wrapped) Add(d, s.time, "wrap", input + " counter passed 2^32 - 1 and started again at 0");
    if (v.reset)
      Add(d, s.time, "reset", input + " counter went back (device restarted?): pulses not read before are lost");
  }
  if (s.resumed)
    Add(d, s.time, "resumed", "counts taken up from the store, last read " + IsoTime(*s.resumed));
  else if (s.gap.count() > 0)
    Add(d, s.time, "gap", "no sample for " + SecondsText(s.gap) + "; this sample's increases span the gap");
}

void DeviceActivity::OnEvent(const Event& e) {
  if (e.kind == EventKind::Output) return;  // about the collector, not a device
  std::lock_guard lock(mutex_);
  Device& d = devices_[e.device.name];
  switch (e.kind) {
    case EventKind::Connect:
      Add(d, e.time, Name(e.kind), "connected" + (e.identity ? ": " + IdentityText(*e.identity) : ""));
      break;
    case EventKind::SettingsChanged:
      Add(d, e.time, Name(e.kind), "other settings than before" + (e.identity ? ": " + IdentityText(*e.identity) : ""));
      break;
    case EventKind::Failure:
      Add(d, e.time, Name(e.kind), std::string(Name(e.failure)) + ", next attempt after " + SecondsText(e.retryIn),
          e.message);
      break;
    case EventKind::Disconnect:
      Add(d, e.time, Name(e.kind), "connection closed");
      break;
    case EventKind::Skip:
      Add(d, e.time, Name(e.kind), std::to_string(e.skipped) + " poll slot(s) passed over: a poll overran");
      break;
    case EventKind::StateDiscarded:
      Add(d, e.time, Name(e.kind), e.message);
      break;
    case EventKind::Output:
      break;
  }
}

// A device that keeps failing goes down, connecting, down: only a change
// between up and not up starts its time in the state again.
void DeviceActivity::OnStatus(const StatusChange& c) {
  std::lock_guard lock(mutex_);
  Device& d = devices_[c.device.name];
  const bool up = c.status == DeviceStatus::Up;
  if (!d.summary.stateSince || up != d.up) d.summary.stateSince = c.time;
  d.up = up;
}

std::map<std::string, ActivitySummary> DeviceActivity::Summaries() const {
  std::map<std::string, ActivitySummary> out;
  std::lock_guard lock(mutex_);
  for (const auto& [name, d] : devices_) out.emplace(name, d.summary);
  return out;
}

ActivitySummary DeviceActivity::Summary(const std::string& device) const {
  std::lock_guard lock(mutex_);
  const auto found = devices_.find(device);
  return found == devices_.end() ? ActivitySummary{} : found->second.summary;
}

std::vector<RecentEvent> DeviceActivity::Events(const std::string& device) const {
  std::lock_guard lock(mutex_);
  const auto found = devices_.find(device);
  if (found == devices_.end()) return {};
  return {found->second.events.rbegin(), found->second.events.rend()};
}

}  // namespace kestrel::collector
