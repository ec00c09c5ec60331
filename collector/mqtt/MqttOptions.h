#pragma once
// How the collector reaches its message broker; the options follow the
// broker's own command-line clients.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrel::collector {

inline constexpr std::uint16_t kMqttPort = 1883;
inline constexpr std::size_t kDefaultMqttQueue = 10000;

struct MqttOptions {
  std::string host;
  std::uint16_t port = kMqttPort;
  std::string id;                     // the collector's name in topics and its client id
  std::string topicPrefix = "kestrel";
  std::optional<std::string> user;
  std::optional<std::string> password;
  std::optional<std::string> caFile;  // TLS when any of the three CA/certificate options is given
  std::optional<std::string> caPath;
  std::optional<std::string> certFile;
  std::optional<std::string> keyFile;
  bool insecure = false;              // do not check the broker's host name against its certificate
  std::size_t queueLimit = kDefaultMqttQueue;
  std::chrono::seconds keepalive{30};
  // Bounds that tests shorten.
  std::chrono::milliseconds connectTimeout{10000};
  std::chrono::milliseconds retryFirst{500};
  std::chrono::milliseconds retryMax{10000};
  std::chrono::milliseconds stopDrain{2000};  // how long a stop waits for the queue to go out

  bool tls() const { return caFile || caPath; }
};

// "HOST[:PORT]"; nullopt for an empty host or a bad port.
std::optional<std::pair<std::string, std::uint16_t>> ParseHostPort(const std::string& text,
                                                                  std::uint16_t defaultPort);

// A device name as one topic level: '/', '+', '#' and control characters
// become '_', so a name can neither add levels nor act as a wildcard.
std::string TopicLevel(const std::string& name);

}  // namespace kestrel::collector
