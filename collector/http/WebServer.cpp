#include "collector/http/WebServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <vector>

#include "collector/http/RequestDeadlines.h"
#include "collector/http/WebFiles.h"

namespace kestrel::collector {

namespace {

// Each connection has a thread of its own, since a probe holds its thread
// for seconds while /metrics must still answer; beyond this many at once,
// new connections are refused until one closes.
constexpr unsigned kMaxConnections = 32;
// A connection that sends nothing for this long is closed, so idle or stuck
// clients do not hold threads.
constexpr unsigned kIdleTimeoutSeconds = 30;
// A request must be all in this long after its connection opened or the
// previous answer: a scrape takes milliseconds, a client that trickles
// bytes to hold a thread is cut off.
constexpr std::chrono::milliseconds kRequestTime{5000};
// Connections one client address may hold at once: half the slots, so a
// single host, slow or hostile, can never take them all.
constexpr unsigned kMaxConnectionsPerAddress = kMaxConnections / 2;
// Pieces a streamed body is sent in.
constexpr std::size_t kStreamBlock = 64 * 1024;

}  // namespace

struct WebServer::Impl {
  WebHandler handler;
  TlsPair tls;  // the daemon keeps pointers to them
  RequestDeadlines deadlines{kRequestTime};
  MHD_Daemon* daemon = nullptr;
  // The library's last complaint, for the start error; its worker threads
  // may write it too (a client's failed TLS handshake), hence the lock.
  std::mutex logMutex;
  std::string lastLog;

  Impl(WebSources sources, std::vector<Cidr> probeAllow, std::optional<PasswordFile> passwords)
      : handler(std::move(sources), std::move(probeAllow), std::move(passwords)) {}

  static void Log(void* self, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    auto* impl = static_cast<Impl*>(self);
    std::lock_guard lock(impl->logMutex);
    impl->lastLog = std::move(line);
  }

  // The query is only in the URI as it came: the library takes it apart
  // and decodes it before the request is seen, so it is kept here (one
  // string per request, freed in Completed).
  static void* KeepUri(void*, const char* uri, MHD_Connection*) { return new std::string(uri); }
  static void Completed(void* self, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
    delete static_cast<std::string*>(*context);
    *context = nullptr;
    static_cast<Impl*>(self)->deadlines.Answered(connection);
  }

  static void Notify(void* self, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code) {
    RequestDeadlines& deadlines = static_cast<Impl*>(self)->deadlines;
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
      deadlines.Closed(connection);
    } else if (const MHD_ConnectionInfo* info =
                   MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)) {
      deadlines.Opened(connection, info->connect_fd);
    }
  }

  // A streamed body: the library asks for the next piece whenever the
  // connection has room, and frees the source once the answer is over.
  static ssize_t ReadBody(void* source, std::uint64_t, char* out, std::size_t room) {
    const std::size_t n = (*static_cast<BodySource*>(source))(out, room);
    return n == 0 ? MHD_CONTENT_READER_END_OF_STREAM : static_cast<ssize_t>(n);
  }
  static void FreeBody(void* source) { delete static_cast<BodySource*>(source); }

  // Every request is answered at its first call, once the headers are in;
  // a body, which no path takes, is dropped with the connection.
  static MHD_Result Access(void* self, MHD_Connection* connection, const char* url, const char* method,
                           const char*, const char*, std::size_t*, void** context) {
    static_cast<Impl*>(self)->deadlines.RequestIn(connection);
    WebRequest request;
    request.method = method;
    request.path = url;
    if (const auto* uri = static_cast<const std::string*>(*context)) {
      const std::size_t mark = uri->find('?');
      if (mark != std::string::npos) request.query = uri->substr(mark + 1);
    }
    if (const char* header = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION))
      request.authorization = header;

    WebReply reply = static_cast<Impl*>(self)->handler.Answer(request);
    MHD_Response* response =
        reply.stream ? MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kStreamBlock, &Impl::ReadBody,
                                                         new BodySource(std::move(reply.stream)), &Impl::FreeBody)
                     : MHD_create_response_from_buffer(reply.body.size(), reply.body.data(), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
    for (const auto& [name, value] : reply.headers) MHD_add_response_header(response, name.c_str(), value.c_str());
    const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
    MHD_destroy_response(response);
    return queued;
  }
};

std::unique_ptr<WebServer> WebServer::Start(const WebOptions& options, WebSources sources,
                                            std::string& error) {
  std::optional<PasswordFile> passwords;
  if (options.authFile) {
    auto loaded = LoadPasswordFile(*options.authFile, error);
    if (!loaded) return nullptr;
    passwords.emplace(std::move(*loaded));
  }
  std::optional<TlsPair> tls;
  if (options.tlsCertFile && options.tlsKeyFile) {
    if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
      error = "this build of libmicrohttpd serves no TLS";
      return nullptr;
    }
    if (!(tls = LoadTlsPair(*options.tlsCertFile, *options.tlsKeyFile, error))) return nullptr;
  }

  auto impl = std::make_unique<Impl>(std::move(sources), options.probeAllow, std::move(passwords));
  const std::string endpoint = options.listenAddress + ":" + std::to_string(options.listenPort);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(options.listenPort);
  if (inet_pton(AF_INET, options.listenAddress.c_str(), &address.sin_addr) != 1) {
    error = "cannot serve on " + endpoint + ": not an IPv4 address";
    return nullptr;
  }

  std::vector<MHD_OptionItem> settings{
      // First, so that nothing the library says while starting goes to stderr.
      {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&Impl::Log), impl.get()},
      {MHD_OPTION_SOCK_ADDR, 0, &address},
      {MHD_OPTION_CONNECTION_LIMIT, kMaxConnections, nullptr},
      {MHD_OPTION_PER_IP_CONNECTION_LIMIT, kMaxConnectionsPerAddress, nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, kIdleTimeoutSeconds, nullptr},
      {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&Impl::KeepUri), nullptr},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Impl::Completed), impl.get()},
      {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&Impl::Notify), impl.get()},
  };
  unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_ERROR_LOG;
  if (tls) {
    impl->tls = std::move(*tls);
    flags |= MHD_USE_TLS;
    settings.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, impl->tls.cert.data()});
    settings.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, impl->tls.key.data()});
  }
  settings.push_back({MHD_OPTION_END, 0, nullptr});

  impl->daemon = MHD_start_daemon(flags, options.listenPort, nullptr, nullptr, &Impl::Access, impl.get(),
                                  MHD_OPTION_ARRAY, settings.data(), MHD_OPTION_END);
  if (impl->daemon == nullptr) {
    std::lock_guard lock(impl->logMutex);
    error = "cannot serve on " + endpoint + ": " + (impl->lastLog.empty() ? "unknown error" : impl->lastLog);
    return nullptr;
  }
  return std::unique_ptr<WebServer>(new WebServer(std::move(impl)));
}

WebServer::WebServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

WebServer::~WebServer() {
  if (impl_->daemon != nullptr) MHD_stop_daemon(impl_->daemon);
}

std::uint16_t WebServer::port() const {
  const MHD_DaemonInfo* info = MHD_get_daemon_info(impl_->daemon, MHD_DAEMON_INFO_BIND_PORT);
  return info != nullptr ? info->port : 0;
}

}  // namespace kestrel::collector
