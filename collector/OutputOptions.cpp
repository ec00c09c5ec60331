#include "collector/OutputOptions.h"

#include <charconv>
#include <fstream>

#include "collector/status/WebRoot.h"

namespace kestrel::collector {

namespace {

constexpr std::size_t kMaxMqttQueue = 10'000'000;

std::optional<std::size_t> Count(const std::string& text, std::size_t max) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty() || value < 1 || value > max)
    return std::nullopt;
  return value;
}

std::optional<std::string> FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

bool ParseOutputOption(const std::string& arg, const std::function<std::optional<std::string>()>& next,
                       OutputOptions& o, std::string& error) {
  const auto bad = [&](const std::string& value, const std::string& what) {
    error = arg + " '" + value + "': " + what;
  };
  const auto text = [&](std::optional<std::string>& into) {
    if (auto v = next()) into = *v;
  };
  if (arg == "--listen") {
    const auto v = next();
    if (!v) return true;
    // "PORT" alone listens on loopback.
    const std::string endpoint = v->find(':') == std::string::npos ? "127.0.0.1:" + *v : *v;
    const std::size_t colon = endpoint.rfind(':');
    const auto address = ParseProbeTarget(endpoint.substr(0, colon), 1);
    const auto port = Count(endpoint.substr(colon + 1), 65535);
    if (!address || !port) return bad(*v, "not [ADDR:]PORT with a dotted IPv4 address"), true;
    o.listen = true;
    o.web.listenAddress = address->addressText;
    o.web.listenPort = static_cast<std::uint16_t>(*port);
  } else if (arg == "--web-auth-file") {
    text(o.web.authFile);
  } else if (arg == "--web-tls-cert") {
    text(o.web.tlsCertFile);
  } else if (arg == "--web-tls-key") {
    text(o.web.tlsKeyFile);
  } else if (arg == "--web-root") {
    text(o.web.webRoot);
  } else if (arg == "--probe-allow") {
    const auto v = next();
    if (!v) return true;
    const auto cidr = ParseCidr(*v);
    if (!cidr) return bad(*v, "not ADDR/LEN"), true;
    o.probeAllowGiven = true;
    o.web.probeAllow.push_back(*cidr);
  } else if (arg == "--mqtt") {
    const auto v = next();
    if (!v) return true;
    const auto hostPort = ParseHostPort(*v, kMqttPort);
    if (!hostPort) return bad(*v, "not HOST[:PORT]"), true;
    o.mqtt = true;
    o.broker.host = hostPort->first;
    o.broker.port = hostPort->second;
  } else if (arg == "--mqtt-id") {
    if (auto v = next()) o.broker.id = *v;
  } else if (arg == "--mqtt-topic") {
    if (auto v = next()) o.broker.topicPrefix = *v;
  } else if (arg == "--mqtt-user") {
    text(o.broker.user);
  } else if (arg == "--mqtt-password") {
    text(o.broker.password);
  } else if (arg == "--mqtt-password-file") {
    const auto v = next();
    if (!v) return true;
    o.broker.password = FirstLine(*v);
    if (!o.broker.password) bad(*v, "cannot be read");
  } else if (arg == "--mqtt-cafile") {
    text(o.broker.caFile);
  } else if (arg == "--mqtt-capath") {
    text(o.broker.caPath);
  } else if (arg == "--mqtt-cert") {
    text(o.broker.certFile);
  } else if (arg == "--mqtt-key") {
    text(o.broker.keyFile);
  } else if (arg == "--mqtt-insecure") {
    o.broker.insecure = true;
  } else if (arg == "--mqtt-queue") {
    const auto v = next();
    if (!v) return true;
    const auto n = Count(*v, kMaxMqttQueue);
    if (!n) return bad(*v, "a count from 1 to 10000000"), true;
    o.broker.queueLimit = *n;
  } else if (arg == "--shard") {
    const auto v = next();
    if (!v) return true;
    o.shard = ParseShard(*v);
    if (!o.shard) bad(*v, "not I/N with 1 <= I <= N <= 1000");
  } else {
    return false;
  }
  return true;
}

std::optional<std::string> CheckOutputOptions(const OutputOptions& o) {
  const WebOptions& w = o.web;
  if (!o.listen && (w.authFile || w.tlsCertFile || w.tlsKeyFile || o.probeAllowGiven || w.webRoot))
    return "--web-auth-file, --web-tls-cert, --web-tls-key, --web-root and --probe-allow need --listen";
  if (w.tlsCertFile.has_value() != w.tlsKeyFile.has_value())
    return "--web-tls-cert and --web-tls-key go together";
  const MqttOptions& b = o.broker;
  if (!o.mqtt && (b.user || b.password || b.caFile || b.caPath || b.certFile || b.keyFile || b.insecure ||
                  !b.id.empty() || b.topicPrefix != MqttOptions{}.topicPrefix ||
                  b.queueLimit != kDefaultMqttQueue))
    return "the --mqtt-... options need --mqtt";
  if (b.password && !b.user) return "--mqtt-password needs --mqtt-user";
  if (b.topicPrefix.empty() || b.topicPrefix.find_first_of("+#") != std::string::npos)
    return "--mqtt-topic must be a topic without wildcards";
  return std::nullopt;
}

std::string OutputHelpText() {
  return R"(Metrics (Prometheus text format):
      --listen [ADDR:]PORT         serve /metrics, /probe?target=ADDR[:PORT]
                                   and the status page at / (address
                                   127.0.0.1 unless given; our port is )" + std::to_string(kDefaultWebPort) + R"()
      --web-auth-file FILE         require basic authentication: USER:HASH
                                   lines (bcrypt as htpasswd -nB makes them,
                                   yescrypt or SHA-crypt)
      --web-tls-cert FILE          serve HTTPS with this certificate (chain)
      --web-tls-key FILE           and its private key, both PEM
      --web-root DIR               the status page's files ()" + std::string(kDefaultWebRoot) + R"()
      --probe-allow ADDR/LEN       networks /probe may reach; repeatable
                                   (the interface's own network)
Message broker (MQTT):
      --mqtt HOST[:PORT]           publish to this broker (port )" + std::to_string(kMqttPort) + R"()
      --mqtt-id ID                 the collector's name in topics and client
                                   id (the host name)
      --mqtt-topic PREFIX          first level of every topic (kestrel)
      --mqtt-user USER             --mqtt-password PASSWORD, or the first
      --mqtt-password-file FILE    line of FILE
      --mqtt-cafile FILE           TLS, checking the broker against these
      --mqtt-capath DIR            certificate authorities
      --mqtt-cert FILE             client certificate and its key, for
      --mqtt-key FILE              brokers that ask for one
      --mqtt-insecure              do not check the broker's host name
      --mqtt-queue N               messages kept while the broker is away
                                   (10000); the oldest go first when full
Sharing a fleet:
      --shard I/N                  poll only share I of N of the devices (by
                                   a hash of address and port), so that N
                                   collectors poll every device once
)";
}

}  // namespace kestrel::collector
