#include "collector/http/WebServer.h"

#include <civetweb.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

#include "collector/http/BasicAuth.h"

namespace kestrel::collector {

namespace {

// A second probe of the same device waits for the first; longer than the
// connect steps' own bounds, so it only runs out when something is stuck.
constexpr std::chrono::seconds kProbeQueueWait{60};
// Requests served at once; more wait for a free worker.
constexpr char kWorkerThreads[] = "8";
constexpr char kRequestTimeoutMs[] = "30000";

void Reply(mg_connection* conn, int status, const char* reason, const std::string& type,
           const std::string& body, const char* extraHeader = "") {
  mg_printf(conn,
            "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %zu\r\n%sConnection: close\r\n\r\n",
            status, reason, type.c_str(), body.size(), extraHeader);
  mg_write(conn, body.data(), body.size());
}

void ReplyText(mg_connection* conn, int status, const char* reason, const std::string& text) {
  Reply(conn, status, reason, "text/plain; charset=utf-8", text + "\n");
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The devices a probe is talking to, so that two probes never open two
// connections to the same device at once.
class BusyDevices {
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

}  // namespace

struct WebServer::Impl {
  WebSources sources;
  std::vector<Cidr> probeAllow;
  std::optional<PasswordFile> passwords;
  BusyDevices busy;
  mg_context* context = nullptr;

  explicit Impl(WebSources s) : sources(std::move(s)) {}

  Families WithCollector(Families families) const {
    if (sources.collectorFamilies)
      for (auto& f : sources.collectorFamilies()) families.push_back(std::move(f));
    return families;
  }

  void Metrics(mg_connection* conn) const {
    const Families families = WithCollector(DeviceFamilies(sources.book.Devices()));
    Reply(conn, 200, "OK", kExpositionType, Serialize(families));
  }

  void Probe(mg_connection* conn) {
    const mg_request_info* request = mg_get_request_info(conn);
    const auto text = QueryValue(request->query_string ? request->query_string : "", "target");
    if (!text) return ReplyText(conn, 400, "Bad Request", "target parameter missing");
    const auto target = ParseProbeTarget(*text, sources.defaultDevicePort);
    if (!target) return ReplyText(conn, 400, "Bad Request", "target is not ADDR[:PORT] with a dotted IPv4 address");
    if (!AnyContains(probeAllow, target->address))
      return ReplyText(conn, 403, "Forbidden", "target outside the networks given with --probe-allow");

    const DeviceRef asked{target->addressText, target->addressText, target->port};
    const BusyDevices::Key key{asked.address, asked.port};
    if (!busy.Acquire(key, kProbeQueueWait))
      return ReplyText(conn, 503, "Service Unavailable", "another probe of this device is still running");
    struct Held {
      BusyDevices& devices;
      const BusyDevices::Key& key;
      ~Held() { devices.Release(key); }
    } held{busy, key};

    // A polled device answers from its poller: never a second connection.
    if (sources.pollers.Find(asked.address, asked.port) != nullptr) {
      DeviceMetrics known;
      known.device = asked;
      if (auto found = sources.book.Find(asked.address, asked.port)) known = *found;
      return Reply(conn, 200, "OK", kExpositionType, Serialize(DeviceFamilies({known})));
    }
    const ProbeOutcome outcome = sources.probe(asked);
    Reply(conn, 200, "OK", kExpositionType, Serialize(DeviceFamilies({ProbeMetrics(asked, outcome)})));
  }

  // Every request passes here first: the password, then the path.
  int Serve(mg_connection* conn) {
    if (passwords) {
      const char* header = mg_get_header(conn, "Authorization");
      if (header == nullptr || !passwords->Allows(header)) {
        Reply(conn, 401, "Unauthorized", "text/plain; charset=utf-8", "authentication required\n",
              "WWW-Authenticate: Basic realm=\"kestrel-collector\", charset=\"UTF-8\"\r\n");
        return 401;
      }
    }
    const mg_request_info* request = mg_get_request_info(conn);
    const std::string method = request->request_method ? request->request_method : "";
    const std::string path = request->local_uri ? request->local_uri : "";
    if (method != "GET") {
      ReplyText(conn, 405, "Method Not Allowed", "only GET");
      return 405;
    }
    if (path == "/metrics") {
      Metrics(conn);
      return 200;
    }
    if (path == "/probe") {
      Probe(conn);
      return 200;
    }
    if (path == "/") {
      Reply(conn, 200, "OK", "text/html; charset=utf-8",
            "<html><head><title>kestrel-collector</title></head><body><h1>kestrel-collector</h1>"
            "<p><a href=\"metrics\">Metrics</a></p></body></html>\n");
      return 200;
    }
    ReplyText(conn, 404, "Not Found", "not found");
    return 404;
  }
};

std::unique_ptr<WebServer> WebServer::Start(const WebOptions& options, WebSources sources,
                                            std::string& error) {
  auto impl = std::make_unique<Impl>(std::move(sources));
  impl->probeAllow = options.probeAllow;
  if (options.authFile) {
    const auto text = ReadFile(*options.authFile);
    if (!text) {
      error = *options.authFile + ": cannot be read";
      return nullptr;
    }
    std::string why;
    auto parsed = PasswordFile::Parse(*text, why);
    if (!parsed) {
      error = *options.authFile + ": " + why;
      return nullptr;
    }
    impl->passwords.emplace(std::move(*parsed));
  }
  static std::once_flag library;
  std::call_once(library, [] { mg_init_library(0); });

  const std::string ports = options.listenAddress + ":" + std::to_string(options.listenPort);
  std::vector<const char*> config{"listening_ports", ports.c_str(),
                                  "num_threads", kWorkerThreads,
                                  "request_timeout_ms", kRequestTimeoutMs};
  config.push_back(nullptr);

  mg_callbacks callbacks{};
  callbacks.begin_request = [](mg_connection* conn) {
    return static_cast<Impl*>(mg_get_user_data(mg_get_context(conn)))->Serve(conn);
  };
  callbacks.log_message = [](const mg_connection*, const char*) { return 1; };  // said through `error`

  char text[256] = "";
  mg_error_data errorData{};
  errorData.text = text;
  errorData.text_buffer_size = sizeof text;
  mg_init_data init{};
  init.callbacks = &callbacks;
  init.user_data = impl.get();
  init.configuration_options = config.data();
  impl->context = mg_start2(&init, &errorData);
  if (impl->context == nullptr) {
    error = "cannot serve on " + ports + ": " + (text[0] ? text : "unknown error");
    return nullptr;
  }
  return std::unique_ptr<WebServer>(new WebServer(std::move(impl)));
}

WebServer::WebServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

WebServer::~WebServer() {
  if (impl_->context != nullptr) mg_stop(impl_->context);
}

std::uint16_t WebServer::port() const {
  mg_server_port ports[4]{};
  const int n = mg_get_server_ports(impl_->context, 4, ports);
  return n > 0 ? static_cast<std::uint16_t>(ports[0].port) : 0;
}

}  // namespace kestrel::collector
