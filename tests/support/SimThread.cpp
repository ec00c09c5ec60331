#include "tests/support/SimThread.h"

#include <gtest/gtest.h>

namespace kestrel::testing {

sim::SimConfig LoopbackSimConfig(const std::string& address) {
  sim::SimConfig config;
  config.bindAddress = address;
  config.commandPort = 0;
  config.configPort = 0;
  config.discoveryPort = 0;
  config.verbose = true;
  return config;
}

SimThread::SimThread(const sim::SimConfig& config)
    : address_(config.bindAddress), server_(config, &log_) {
  const std::string error = server_.Open();
  EXPECT_EQ(error, "");
  opened_ = error.empty();
  if (opened_) loop_ = std::thread([this] { server_.Run(); });
}

SimThread::~SimThread() { Stop(); }

SimPorts SimThread::ports() const {
  return {server_.commandPort(), server_.configPort(), server_.discoveryPort()};
}

void SimThread::Stop() {
  if (!loop_.joinable()) return;
  server_.RequestStop();
  loop_.join();
}

std::string SimThread::Log() {
  Stop();
  return log_.str();
}

}  // namespace kestrel::testing
