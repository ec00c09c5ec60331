// kestrel-bench-metrics: what a /metrics scrape of a large fleet costs. The
// collector's own HTTP endpoint serves a book of N synthetic devices (eight
// inputs each, identified, with both histograms filled); a plain socket
// client on 127.0.0.1 scrapes it repeatedly, moving every counter between
// scrapes as polls would. Prints each scrape's time and size and the
// process's resident memory after it (VmRSS), which should stay flat.
//
//   kestrel-bench-metrics [DEVICES] [SCRAPES]      # 10000 20
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "collector/http/WebServer.h"
#include "collector/prometheus/MetricsBook.h"

namespace {

using namespace kestrel::collector;
using Clock = std::chrono::steady_clock;

constexpr timeval kReceiveTimeout{30, 0};

std::string Address(int i) {
  return "10.78." + std::to_string((i + 1) / 256) + "." + std::to_string((i + 1) % 256);
}

void Poll(MetricsBook& book, int devices, std::uint32_t round) {
  for (int i = 0; i < devices; ++i) {
    Sample sample;
    sample.device = {Address(i), Address(i), 10003};
    sample.inputCount = 8;
    for (std::uint32_t k = 0; k < 8; ++k) {
      InputValue& v = sample.inputs[k];
      v.present = true;
      v.raw = round * (k + 1);
      v.increase = k + 1;
      v.total = v.raw;
    }
    sample.pollDuration = std::chrono::microseconds(9000 + i % 1000);
    sample.lateness = std::chrono::milliseconds(10 + i % 50);
    book.OnSample(sample);
  }
}

long VmRssKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// One GET over a new connection; the bytes received, or -1.
long Scrape(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &kReceiveTimeout, sizeof kReceiveTimeout);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  long total = -1;
  const std::string request = "GET /metrics HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
  if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0 &&
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    total = 0;
    char buffer[64 * 1024];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) total += n;
  }
  ::close(fd);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const int devices = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int scrapes = argc > 2 ? std::atoi(argv[2]) : 20;
  if (devices <= 0 || scrapes <= 0) {
    std::fprintf(stderr, "usage: kestrel-bench-metrics [DEVICES] [SCRAPES]\n");
    return 2;
  }
  MetricsBook book;
  PollerRegistry pollers;
  for (int i = 0; i < devices; ++i) {
    DeviceIdentity id;
    id.device = {Address(i), Address(i), 10003};
    id.model = "SX-21";
    id.productCode = "X6";
    id.counting = true;
    book.OnStatus(StatusChange{id.device, {}, DeviceStatus::Up, id, {}, {}});
    book.OnEvent(Event{EventKind::Connect, id.device, {}, {}, {}, {}, 0, id, {}});
  }
  Poll(book, devices, 1);

  WebOptions options;
  options.listenPort = 0;
  std::string error;
  WebSources sources{book, pollers, nullptr, nullptr, 10003, std::nullopt, nullptr};
  auto server = WebServer::Start(options, std::move(sources), error);
  if (!server) {
    std::fprintf(stderr, "kestrel-bench-metrics: %s\n", error.c_str());
    return 1;
  }
  std::printf("%d devices, %d scrapes; VmRSS before: %ld kB\n", devices, scrapes, VmRssKb());
  for (int s = 1; s <= scrapes; ++s) {
    Poll(book, devices, static_cast<std::uint32_t>(s + 1));
    const Clock::time_point start = Clock::now();
    const long bytes = Scrape(server->port());
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (bytes <= 0) {
      std::fprintf(stderr, "kestrel-bench-metrics: scrape %d failed\n", s);
      return 1;
    }
    std::printf("scrape %2d: %8.1f ms  %6.1f MB  VmRSS %ld kB\n", s, ms, bytes / 1e6, VmRssKb());
  }
  return 0;
}
