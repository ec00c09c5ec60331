#include "net/Link.h"

namespace kestrel::net {

Task<Status> ExchangeOnConfigPort(Link& link, DeviceState& state, const std::string& address,
                                  std::int32_t configPort, const std::uint8_t* request,
                                  std::size_t requestLength, ReplyBuffer& reply,
                                  ReplyFraming framing, std::size_t* replyLength) {
  // The two connections are never open at the same time.
  link.CloseSlot(Slot::MainSlot);
  co_await link.Pause(link.timeouts().slotPauseMs);

  const Status opened = co_await link.OpenSlot(address, configPort, Slot::ConfigSlot);
  if (Failed(opened)) co_return kStatusFail;
  const Status exchanged = co_await link.Transact(request, requestLength, reply, framing,
                                                  Slot::ConfigSlot, replyLength);
  link.CloseSlot(Slot::ConfigSlot);
  if (Failed(exchanged)) co_return kStatusFail;
  co_await link.Pause(link.timeouts().slotPauseMs);

  const Status reopened = co_await link.OpenSlot(address, state.port, Slot::MainSlot);
  co_return reopened;
}

}  // namespace kestrel::net
