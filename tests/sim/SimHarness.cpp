#include "tests/sim/SimHarness.h"

#include <gtest/gtest.h>

#include "common/Protocol.h"
#include "tests/support/Loopback.h"

namespace kestrel::sim::testing {

using enum net::ReplyFraming;

SimConfig LoopbackConfig() {
  SimConfig config;
  config.bindAddress = kSimAddress;
  config.commandPort = 0;
  config.configPort = 0;
  config.discoveryPort = 0;
  config.verbose = true;
  return config;
}

RunningSim::RunningSim(const SimConfig& config) : server_(config, &log_) {
  const std::string error = server_.Open();
  EXPECT_EQ(error, "");
  if (error.empty()) loop_ = std::thread([this] { server_.Run(); });
}

RunningSim::~RunningSim() { Stop(); }

void RunningSim::Stop() {
  if (!loop_.joinable()) return;
  server_.RequestStop();
  loop_.join();
}

std::string RunningSim::Log() {
  Stop();
  return log_.str();
}

Client::Client(const RunningSim& sim, net::ChannelTimeouts timeouts)
    : channel(state, timeouts), sim_(sim) {
  state.localAddress = kestrel::testing::Ipv4(127, 0, 4, 1);
  state.deviceAddress = kSimAddress;
  state.port = sim.server().commandPort();
}

bool Client::Open() {
  return Succeeded(channel.OpenChannel(kSimAddress, state.port, net::Slot::MainSlot));
}

std::optional<Bytes> Client::Exchange(const Bytes& request) {
  net::ReplyBuffer reply{};
  std::size_t length = 0;
  if (Failed(channel.Transact(request.data(), request.size(), reply, UntilTerminator,
                              net::Slot::MainSlot, &length)))
    return std::nullopt;
  return Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(length));
}

std::optional<std::string> Client::Dump() {
  net::ReplyBuffer reply{};
  std::size_t length = 0;
  const auto* query = reinterpret_cast<const std::uint8_t*>(protocol::kConfigDumpQuery);
  if (Failed(channel.TransactOnConfigPort(kSimAddress, sim_.server().configPort(), query,
                                          protocol::kConfigDumpQueryLength, reply,
                                          UntilEndMarker, &length)))
    return std::nullopt;
  return std::string(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(length));
}

}  // namespace kestrel::sim::testing
