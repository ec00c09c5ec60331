#pragma once
// The real window against kestrel-sim running inside the test process on the
// window tests' loopback block, with the time-outs shortened. The operator's
// side goes through the platform's input path; the device's side is checked
// in the simulator's traffic log.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "common/DeviceState.h"
#include "sim/SimConfig.h"
#include "tests/support/SimThread.h"
#include "tests/ui/RecordingPresenter.h"
#include "ui/KestrelDlg.h"

namespace kestrel::ui {

// The window's interface and the simulated device, both on loopback.
inline constexpr char kWindowAddress[] = "127.0.5.1";
inline constexpr char kDeviceAddress[] = "127.0.5.2";

// The window as the operator sees it, for the control-state checks.
enum class Shown { NotConnected, Connected, Counting };

class WindowWithSim : public ::testing::Test {
 protected:
  // The simulator with its defaults on the device address; `adjust` changes
  // the device before it starts.
  void StartSim(const std::function<void(sim::SimConfig&)>& adjust = {});
  // The window, built once, wired to the running simulator's ports.
  CKestrelDlg& Dialog();

  // Enters the device's address and command port and presses connect.
  void PressConnect(const std::string& address = kDeviceAddress);
  std::string CommandPort() const;

  // Stops the simulator and returns the command frames the window sent on its
  // command connections, in order, as upper-case hex ("50 4A C8").
  std::vector<std::string> SentCommands();
  // The whole log; stops the simulator.
  std::string SimLog();

  std::vector<std::string> MessageTexts() const;

  // Checks every control whose state the window fixes for `shown`: enabled,
  // visible, checked, selected and the texts that follow the device state.
  void ExpectWindowState(Shown shown, bool everConnected = true);

  DeviceState state;
  RecordingPresenter presenter;
  std::unique_ptr<testing::SimThread> sim;
  std::unique_ptr<CKestrelDlg> dialog;

 private:
  std::string log_;
  bool logTaken_ = false;
};

// Failing table cases print by name instead of as raw bytes (bring it into
// the test's own namespace with a using-declaration).
template <class Case>
  requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

// The frames of `log` sent by the window ("<-" lines of command
// connections), in order.
std::vector<std::string> CommandFramesOf(const std::string& log);

}  // namespace kestrel::ui
