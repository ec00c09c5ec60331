#include "net/CommandChannel.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "common/OperatorTexts.h"
#include "net/BlockingLink.h"
#include "net/AddressText.h"
#include "net/ErrorNumbers.h"

namespace kestrel::net {

namespace {

constexpr std::size_t kDrainChunk = 4096;

using Clock = std::chrono::steady_clock;

// Microseconds from now until `deadline`, 0 when it has passed.
std::uint32_t MicrosecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
  return left.count() <= 0 ? 0 : static_cast<std::uint32_t>(std::min<std::int64_t>(left.count(), UINT32_MAX));
}

}  // namespace

Status ConnectWithTimeout(SocketHandle socket, Endpoint peer, std::uint32_t timeoutMs,
                          int& errorNumber) {
  return ConnectWithin(socket, peer, timeoutMs, errorNumber) ? kStatusOk : kStatusFail;
}

void DrainInput(SocketHandle socket, std::uint32_t pollUs, std::uint32_t limitMs) {
  std::array<std::uint8_t, kDrainChunk> scratch{};
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  // Each pass either stops or consumes at least one byte, so a peer that
  // streams without pause is the only thing that keeps this going; the
  // deadline ends that too. What is left is then no reply to the next request
  // and fails it by the reply rules.
  for (;;) {
    bool readable = false;
    const int waitError = WaitReadable(socket, pollUs, readable);
    // A failed wait is no stop by itself: the receive below reports the fault.
    if (waitError == 0 && !readable) return;
    std::size_t received = 0;
    if (Receive(socket, scratch.data(), scratch.size(), received) != 0 || received == 0)
      return;
    if (Clock::now() >= deadline) return;
  }
}

CommandChannel::CommandChannel(DeviceState& state, ChannelTimeouts timeouts)
    : state_(state), timeouts_(timeouts), slots_{kInvalidSocket, kInvalidSocket} {}

CommandChannel::~CommandChannel() {
  CloseSlot(Slot::MainSlot);
  CloseSlot(Slot::ConfigSlot);
}

// A closed slot forgets its handle, so that a later close cannot hit a
// descriptor the system has since handed to someone else.
void CommandChannel::CloseSlot(Slot slot) {
  SocketHandle& s = handle(slot);
  if (observer_ != nullptr && s != kInvalidSocket) observer_->Closing(s);
  CloseSocket(s);
  s = kInvalidSocket;
}

bool CommandChannel::IsOpen(Slot slot) const {
  return slots_[static_cast<std::size_t>(slot)] != kInvalidSocket;
}

Status CommandChannel::Fail(std::string text, FailureCause cause) {
  state_.lastError = std::move(text);
  state_.lastFailure = cause;
  return kStatusFail;
}

Status CommandChannel::FailSocket(char letter, FailureStep step, int errorNumber) {
  return Fail(NetworkErrorText(letter, errorNumber), SocketFailure(step, errorNumber));
}

Status CommandChannel::OpenChannel(const std::string& address, std::int32_t port, Slot slot) {
  CloseSlot(slot);
  SocketHandle& s = handle(slot);
  if (const int e = CreateSocket(SocketKind::Stream, s); e != 0)
    return FailSocket('S', FailureStep::Connect, e);
  if (observer_ != nullptr) observer_->Opened(s);
  if (const int e = Bind(s, {state_.localAddress, 0}); e != 0) {
    CloseSlot(slot);
    return FailSocket('B', FailureStep::Connect, e);
  }

  // The workflow has checked the text before; an unconvertible one ends up as
  // the all-ones address and fails in the connect.
  const Endpoint peer{ResolveDeviceAddress(address).value_or(kAddressNone),
                      static_cast<std::uint16_t>(port)};
  int connectError = 0;
  if (Failed(ConnectWithTimeout(s, peer, timeouts_.connectMs, connectError))) {
    CloseSlot(slot);
    return FailSocket('C', FailureStep::Connect, connectError);
  }

  int e = SetSendTimeout(s, timeouts_.sendMs);
  if (e == 0) e = SetReceiveTimeout(s, timeouts_.receiveMs);
  if (e != 0) {
    CloseSlot(slot);
    return FailSocket('D', FailureStep::Connect, e);
  }

  // A greeting or anything else sent on connection is not a reply.
  DrainInput(s, timeouts_.drainPollUs, timeouts_.receiveMs);
  return kStatusOk;
}

Status CommandChannel::Transact(const std::uint8_t* request, std::size_t requestLength,
                                ReplyBuffer& reply, ReplyFraming framing, Slot slot,
                                std::size_t* replyLength) {
  if (replyLength != nullptr) *replyLength = 0;
  const SocketHandle s = handle(slot);
  // Late or surplus replies to earlier requests must not be read as this one's.
  DrainInput(s, timeouts_.drainPollUs, timeouts_.receiveMs);

  std::size_t sent = 0;
  if (const int e = Send(s, request, requestLength, sent); e != 0)
    return FailSocket('D', FailureStep::Send, e);

  // One byte per receive, so nothing after the end of the reply is consumed.
  ReplyCollector collector(framing, EchoOfRequest(request, requestLength), reply);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeouts_.receiveMs);
  for (;;) {
    std::uint8_t byte = 0;
    std::size_t received = 0;
    // A well-behaved device's reply needs no overall bound beyond the
    // per-receive time-out and the reply limit; only dropped frames do, so
    // only then is each receive awaited against the deadline.
    if (collector.droppedFrames() > 0) {
      bool readable = false;
      const std::uint32_t leftUs = MicrosecondsLeft(deadline);
      if (leftUs == 0 || (WaitReadable(s, leftUs, readable) == 0 && !readable)) {
        if (replyLength != nullptr) *replyLength = collector.length();
        return FailSocket('R', FailureStep::Receive, kErrTimedOut);
      }
    }
    int e = Receive(s, &byte, 1, received);
    if (e == 0 && received == 0) e = kErrConnectionReset;  // the peer closed mid-reply
    if (e != 0) {
      if (replyLength != nullptr) *replyLength = collector.length();
      return FailSocket('R', FailureStep::Receive, e);
    }
    const ReplyCollector::Step step = collector.Feed(byte);
    if (replyLength != nullptr) *replyLength = collector.length();
    if (step == ReplyCollector::Step::Complete) return kStatusOk;
    if (step == ReplyCollector::Step::LimitExceeded) return Fail(kMsgReplyDataError, {FailureStep::Reply, FailureKind::Reply, 0});
  }
}

Status CommandChannel::TransactOnConfigPort(const std::string& address, std::int32_t configPort,
                                            const std::uint8_t* request,
                                            std::size_t requestLength, ReplyBuffer& reply,
                                            ReplyFraming framing, std::size_t* replyLength) {
  BlockingLink link(*this);
  return RunToEnd(ExchangeOnConfigPort(link, state_, address, configPort, request, requestLength,
                                       reply, framing, replyLength));
}

}  // namespace kestrel::net
