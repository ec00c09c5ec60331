#pragma once
// A command set wired to a scripted loopback device on 127.0.2.x, with short
// channel time-outs so that a silent device fails quickly.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "device/CommandSet.h"
#include "net/CommandChannel.h"
#include "tests/device/RecordingFrontEnd.h"
#include "tests/support/ScriptedTcpPeer.h"

namespace kestrel::device {

using testing::Bytes;
using testing::PeerAction;
using testing::ScriptedTcpPeer;

inline constexpr char kDeviceAddressText[] = "127.0.2.2";
inline std::uint32_t DeviceAddress() { return testing::Ipv4(127, 0, 2, 2); }
inline std::uint32_t LocalAddress() { return testing::Ipv4(127, 0, 2, 1); }

inline net::ChannelTimeouts ShortTimeouts() {
  net::ChannelTimeouts t;
  t.connectMs = 1000;
  t.sendMs = 1000;
  t.receiveMs = 300;
  t.slotPauseMs = 1;
  return t;
}

// A reply frame: the lower-case echo letters, the payload and the terminator.
inline Bytes Frame(const char echo[3], const Bytes& payload) {
  // Sized once: growing a two-byte vector by insert trips a false
  // out-of-bounds warning of g++ 12 at -O2.
  Bytes b(payload.size() + 3);
  b[0] = static_cast<std::uint8_t>(echo[0]);
  b[1] = static_cast<std::uint8_t>(echo[1]);
  std::copy(payload.begin(), payload.end(), b.begin() + 2);
  b.back() = 0xC8;
  return b;
}
inline Bytes Frame(const char echo[3], const std::string& payload) {
  return Frame(echo, Bytes(payload.begin(), payload.end()));
}

// One scripted answer per request: send the frame.
inline std::vector<PeerAction> Answer(Bytes frame) { return {PeerAction::Send(std::move(frame))}; }
// The device drops the connection instead of answering.
inline std::vector<PeerAction> Drop() { return {PeerAction::Close()}; }

class DeviceTest : public ::testing::Test {
 protected:
  DeviceTest() : channel(state, ShortTimeouts()), commands(state, channel, frontEnd) {
    state.localAddress = LocalAddress();
    state.deviceAddress = kDeviceAddressText;
    state.protocolFamily = ProtocolFamily::Unknown;
  }

  // Starts the device with its answers, in order, and opens the main slot.
  void Connect(std::vector<std::vector<PeerAction>> answers) {
    ScriptedTcpPeer::Options options;
    options.address = DeviceAddress();
    peer = std::make_unique<ScriptedTcpPeer>(ScriptedTcpPeer::InOrder(std::move(answers)), options);
    state.port = peer->port();
    ASSERT_EQ(channel.OpenChannel(kDeviceAddressText, state.port, net::Slot::MainSlot), kStatusOk)
        << state.lastError;
  }

  std::vector<Bytes> Requests() const { return peer->requests(); }

  DeviceState state;
  net::CommandChannel channel;
  RecordingFrontEnd frontEnd;
  CommandSet commands;
  std::unique_ptr<ScriptedTcpPeer> peer;
};

}  // namespace kestrel::device
