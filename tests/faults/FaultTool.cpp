#include "tests/faults/FaultTool.h"

#include <array>

#include "common/ModelTable.h"
#include "tests/support/Loopback.h"

namespace kestrel::testing {

namespace {
// The two ends of the 32-bit range among them, so the display of both is checked.
constexpr std::array<std::uint32_t, kMaxInputs> kStillCounts{
    0, 4294967295u, 123456, 1, 0x10, 0xABCDEF, 99, 0x7FFFFFFF};
}  // namespace

net::ChannelTimeouts ShortChannelTimeouts() {
  net::ChannelTimeouts t;
  t.connectMs = 500;
  t.sendMs = 500;
  t.receiveMs = 400;
  return t;
}

net::ProbeSettings ShortProbeSettings() {
  net::ProbeSettings p;
  p.replyWaitMs = 300;
  p.followUpReceiveMs = 200;
  return p;
}

std::vector<std::string> StillCounters() {
  std::vector<std::string> options{"--rate", "all=0"};
  for (int k = 0; k < kMaxInputs; ++k) {
    options.push_back("--start-count");
    options.push_back(std::to_string(k + 1) + "=" +
                      std::to_string(kStillCounts[static_cast<std::size_t>(k)]));
  }
  return options;
}

std::uint32_t StillCount(int input) { return kStillCounts[static_cast<std::size_t>(input)]; }

FaultTool::FaultTool(const SimProcess& sim, net::ChannelTimeouts timeouts, net::ProbeSettings probe)
    : channel(state, timeouts), commands(state, channel, frontEnd), sim_(sim) {
  state.localAddress = Ipv4(127, 0, 7, 1);
  state.protocolFamily = ProtocolFamily::Unknown;
  settings_.probe = probe;
  settings_.probe.devicePort = sim.ports().discovery;
  settings_.configPort = sim.ports().config;
}

device::ConnectResult FaultTool::Connect() { return Connect(std::to_string(sim_.ports().command)); }

device::ConnectResult FaultTool::Connect(const std::string& portText) {
  return device::ConnectDevice(commands, sim_.address(), portText, settings_);
}

void FaultTool::Disconnect() { device::DisconnectDevice(commands); }

Status FaultTool::ReadAllCounts() {
  for (int k = 0; k < CurrentInputCount(state); ++k) {
    if (state.inputs[static_cast<std::size_t>(k)].enabled == 0) continue;
    if (Failed(commands.ReadCount(k))) return kStatusFail;
  }
  return kStatusOk;
}

bool FaultTool::CountsAreStill() const {
  for (int k = 0; k < CurrentInputCount(state); ++k)
    if (state.inputs[static_cast<std::size_t>(k)].count != StillCount(k)) return false;
  return true;
}

}  // namespace kestrel::testing
