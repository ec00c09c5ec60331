#include "collector/status/StatusPages.h"

#include "collector/http/ProbeRequest.h"
#include "collector/status/StatusJson.h"
#include "collector/status/TodayFromStore.h"

namespace kestrel::collector {

namespace {

constexpr char kJson[] = "application/json";

WebReply Reply(int status, const std::string& contentType, std::string body) {
  return {status, contentType, std::move(body),
          {{"Content-Security-Policy", kStatusPagePolicy},
           {"X-Content-Type-Options", "nosniff"},
           {"Referrer-Policy", "no-referrer"},
           // The JSON changes every second and the files with the package.
           {"Cache-Control", "no-cache"}}};
}

WebReply Text(int status, const std::string& text) { return Reply(status, "text/plain; charset=utf-8", text + "\n"); }

}  // namespace

std::unique_ptr<StatusPages> StatusPages::Start(const std::optional<std::string>& webRoot,
                                                const std::optional<std::string>& storePath,
                                                const PollerRegistry& pollers, std::string& error) {
  std::optional<WebRoot> files = WebRoot::Load(webRoot.value_or(kDefaultWebRoot), kChartLibrary,
                                               webRoot.has_value(), error);
  if (!files) return nullptr;
  std::unique_ptr<StatusPages> pages(new StatusPages(std::move(*files), storePath.has_value(), pollers));
  if (storePath && !SeedTodayFromStore(*storePath, pages->started_, pages->activity_, error)) {
    error = *storePath + ": today's counts cannot be read: " + error;
    return nullptr;
  }
  return pages;
}

StatusPages::StatusPages(WebRoot files, bool store, const PollerRegistry& pollers)
    : files_(std::move(files)), store_(store), pollers_(pollers), started_(WallClock::now()) {}

WebReply StatusPages::Devices() const {
  const WallClock::time_point now = WallClock::now();
  return Reply(200, kJson,
               DevicesJson(pollers_.Snapshots(), activity_.Summaries(), now,
                           TodayScopeAt(now, started_, store_), store_));
}

WebReply StatusPages::Device(const std::string& query) const {
  const std::optional<std::string> name = QueryValue(query, "name");
  if (!name) return Text(400, "name parameter missing");
  for (const DeviceSnapshot& s : pollers_.Snapshots()) {
    if (s.device.name != *name) continue;
    const DevicePoller* poller = pollers_.Find(s.device.address, s.device.port);
    const WallClock::time_point now = WallClock::now();
    return Reply(200, kJson,
                 DeviceJson(s, activity_.Summary(s.device.name), activity_.Events(s.device.name),
                            poller ? poller->target().interval : std::chrono::milliseconds{0}, now,
                            TodayScopeAt(now, started_, store_), store_));
  }
  return Text(404, "no device of that name");
}

std::optional<WebReply> StatusPages::Answer(const WebRequest& request) const {
  if (request.path == "/api/devices") return Devices();
  if (request.path == "/api/device") return Device(request.query);
  const WebFile* file = files_.Find(request.path);
  if (file != nullptr) return Reply(200, file->contentType, file->body);
  if (!files_.complete() && (request.path == "/" || request.path.rfind("/device/", 0) == 0))
    return Text(503, "the status page's files are not installed in " + files_.dir() +
                         " (--web-root DIR names another folder); /metrics and /api/devices still answer");
  return std::nullopt;
}

}  // namespace kestrel::collector
