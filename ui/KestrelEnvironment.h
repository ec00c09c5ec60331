#pragma once
// What the main window takes from its surroundings, so that a test can hand
// it its own: where the adapter rows come from, how the process ends when they
// cannot be read, the command channel's time-outs, and the probe's wait and
// ports used while connecting.
#include <cstdlib>
#include <functional>

#include "device/Connect.h"
#include "net/AdapterTable.h"
#include "net/CommandChannel.h"

namespace kestrel::ui {

struct KestrelDlgEnvironment {
  std::function<net::AdapterSnapshot()> readAdapters = net::ReadPlatformAdapters;
  // Ends the process with the code; the product's never returns.
  std::function<void(int)> exitProcess = [](int code) { std::exit(code); };
  net::ChannelTimeouts channelTimeouts{};
  device::ConnectSettings connectSettings{};
};

}  // namespace kestrel::ui
