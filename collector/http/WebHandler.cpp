#include "collector/http/WebHandler.h"

#include <condition_variable>
#include <mutex>
#include <set>

#include "collector/status/StatusPages.h"
#include "collector/store/Schema.h"
#include "collector/store/TotalsRequest.h"
#include "collector/store/TotalsText.h"

namespace kestrel::collector {

namespace {

constexpr char kText[] = "text/plain; charset=utf-8";

WebReply Text(int status, const std::string& text) { return {status, kText, text + "\n", {}}; }


}  // namespace

// The devices a probe is talking to, so that two probes never open two
// connections to the same device at once.
class WebHandler::BusyDevices {
 public:
  using Key = std::pair<std::string, std::uint16_t>;
  // Waits until no other probe holds `key`, at most `wait`; false when the
  // wait ran out.
  bool Acquire(const Key& key, std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    if (!freed_.wait_for(lock, wait, [&] { return busy_.count(key) == 0; })) return false;
    busy_.insert(key);
    return true;
  }
  void Release(const Key& key) {
    {
      std::lock_guard lock(mutex_);
      busy_.erase(key);
    }
    freed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable freed_;
  std::set<Key> busy_;
};

WebHandler::WebHandler(WebSources sources, std::vector<Cidr> probeAllow, std::optional<PasswordFile> passwords)
    : sources_(std::move(sources)),
      probeAllow_(std::move(probeAllow)),
      passwords_(std::move(passwords)),
      busy_(std::make_unique<BusyDevices>()),
      scrapes_(std::make_shared<ExpositionPool>()) {}

WebHandler::~WebHandler() = default;

Families WebHandler::WithCollector(Families families) const {
  if (sources_.collectorFamilies)
    for (auto& f : sources_.collectorFamilies()) families.push_back(std::move(f));
  return families;
}

// Written as the connection takes it: a fleet's text runs to megabytes.
WebReply WebHandler::Streamed(std::shared_ptr<ExpositionStream> text) {
  WebReply reply{200, kExpositionType, {}, {}};
  reply.stream = [text = std::move(text)](char* out, std::size_t room) { return text->Read(out, room); };
  return reply;
}

WebReply WebHandler::Metrics() const {
  std::shared_ptr<ExpositionStream> text = scrapes_->Take();
  sources_.book.CopyDevices(text->devices());
  text->Restart(Serialize(WithCollector({})));
  return Streamed(std::move(text));
}

WebReply WebHandler::Probe(const std::string& query) {
  const auto text = QueryValue(query, "target");
  if (!text) return Text(400, "target parameter missing");
  const auto target = ParseProbeTarget(*text, sources_.defaultDevicePort);
  if (!target) return Text(400, "target is not ADDR[:PORT] with a dotted IPv4 address");
  if (!AnyContains(probeAllow_, target->address))
    return Text(403, "target outside the networks given with --probe-allow");

  const DeviceRef asked{target->addressText, target->addressText, target->port};
  const BusyDevices::Key key{asked.address, asked.port};
  if (!busy_->Acquire(key, kProbeQueueWait)) return Text(503, "another probe of this device is still running");
  struct Held {
    BusyDevices& devices;
    const BusyDevices::Key& key;
    ~Held() { devices.Release(key); }
  } held{*busy_, key};

  // A polled device answers from its poller: never a second connection.
  if (sources_.pollers.Find(asked.address, asked.port) != nullptr) {
    DeviceMetrics known;
    known.device = asked;
    if (auto found = sources_.book.Find(asked.address, asked.port)) known = *found;
    return Streamed(std::make_shared<ExpositionStream>(std::vector{known}, std::string()));
  }
  return Streamed(
      std::make_shared<ExpositionStream>(std::vector{ProbeMetrics(asked, sources_.probe(asked))}, std::string()));
}

// A connection of its own per request: opening is cheap, and in WAL mode a
// reader never holds up the collector's writes.
WebReply WebHandler::Totals(const std::string& query) const {
  if (!sources_.storePath) return Text(404, "no store");
  std::string error;
  const std::optional<store::TotalsQuery> asked = store::ParseTotalsQuery(query, error);
  if (!asked) return Text(400, error);
  const std::unique_ptr<store::Connection> db = store::OpenStoreForReading(*sources_.storePath, error);
  if (!db) return Text(503, "store: " + error);
  std::string rows;
  const store::TotalsStatus status = store::ReadTotals(*db, *asked, [&](const store::TotalRow& row) {
    rows += (rows.empty() ? "" : ",") + store::TotalsJson(row);
  }, error);
  if (status == store::TotalsStatus::BadQuery) return Text(400, error);
  if (status == store::TotalsStatus::StoreFailed) return Text(503, "store: " + error);
  return {200, "application/json", store::TotalsAnswerJson(*asked, "[" + rows + "]") + "\n", {}};
}

// Every request passes here: the password first, then the path.
WebReply WebHandler::Answer(const WebRequest& request) {
  if (passwords_ && !(request.authorization && passwords_->Allows(*request.authorization)))
    return {401, kText, "authentication required\n",
            {{"WWW-Authenticate", "Basic realm=\"kestrel-collector\", charset=\"UTF-8\""}}};
  if (request.method != "GET") return {405, kText, "only GET\n", {{"Allow", "GET"}}};
  if (request.path == "/metrics") return Metrics();
  if (request.path == "/probe") return Probe(request.query);
  if (request.path == "/api/totals") return Totals(request.query);
  if (sources_.statusPages)
    if (std::optional<WebReply> page = sources_.statusPages->Answer(request)) return *page;
  if (request.path == "/")
    return {200, "text/html; charset=utf-8",
            "<html><head><title>kestrel-collector</title></head><body><h1>kestrel-collector</h1>"
            "<p><a href=\"metrics\">Metrics</a></p></body></html>\n",
            {}};
  return Text(404, "not found");
}

}  // namespace kestrel::collector
