#include "tests/sim/SimClient.h"

#include "common/Protocol.h"

namespace kestrel::testing {

using enum net::ReplyFraming;

Client::Client(const SimThread& sim, net::ChannelTimeouts timeouts)
    : channel(state, timeouts), sim_(sim) {
  state.localAddress = Ipv4(127, 0, 4, 1);
  state.deviceAddress = sim.address();
  state.port = sim.ports().command;
}

bool Client::Open() {
  return Succeeded(channel.OpenChannel(sim_.address(), state.port, net::Slot::MainSlot));
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
  if (Failed(channel.TransactOnConfigPort(sim_.address(), sim_.ports().config, query,
                                          protocol::kConfigDumpQueryLength, reply,
                                          UntilEndMarker, &length)))
    return std::nullopt;
  return std::string(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(length));
}

}  // namespace kestrel::testing
