// apply, start and stop: the commands that change the device.
#include "cli/Commands.h"
#include "cli/DeviceConnection.h"
#include "cli/ExitCode.h"
#include "cli/Format.h"
#include "common/ModelTable.h"
#include "device/CountingState.h"

namespace kestrel::cli {

namespace {

int PrintInfo(const DeviceState& state, bool json, Terminal& terminal) {
  for (const std::string& line : InfoLines(state, json))
    if (!terminal.Print(line)) return kExitFailure;
  return kExitOk;
}

}  // namespace

int RunApply(const Invocation& inv, Terminal& terminal) {
  DeviceConnection connection(terminal.messages);
  if (const int status = connection.Connect(inv); status != kExitOk) return status;
  DeviceState& state = connection.state();
  const std::int32_t inputCount = CurrentInputCount(state);

  // Everything is judged before anything is sent.
  for (std::int32_t k = inputCount; k < kMaxInputs; ++k)
    if (inv.apply.inputs[k])
      return UsageError(terminal.messages,
                        "DI" + std::to_string(k + 1) + " does not exist on this " +
                            ModelRowAt(state.modelIndex).displayName + ", which has DI1 to DI" +
                            std::to_string(inputCount),
                        Command::Apply);
  // The window disables its apply button then: the settings are sent with the
  // counting bit clear, which would switch counting off.
  if (device::CountingState(state)) {
    connection.Tell("kestrelctl: settings cannot be applied while counting runs; run 'stop' first");
    return kExitFailure;
  }

  if (inv.apply.countPeriod) state.countPeriod = *inv.apply.countPeriod;
  if (inv.apply.chatterCode) state.chatterCode = *inv.apply.chatterCode;
  for (std::int32_t k = 0; k < inputCount; ++k)
    if (const auto& choice = inv.apply.inputs[k]) {
      state.inputs[k].enabled = choice->enabled;
      if (choice->enabled != 0) state.inputs[k].edge = choice->edge;
    }
  if (Failed(connection.commands().ApplySettings())) return kExitFailure;
  return PrintInfo(state, inv.json, terminal);
}

int RunStart(const Invocation& inv, Terminal& terminal) {
  DeviceConnection connection(terminal.messages);
  if (const int status = connection.Connect(inv); status != kExitOk) return status;
  DeviceState& state = connection.state();
  if (device::CountingState(state))
    return terminal.Print(CountingLine(state, false, inv.json)) ? kExitOk : kExitFailure;
  // Switched on in the START-STOP period with the gate stopped: the window's
  // button stops in this state, so it is pressed twice, as an operator would
  // to get counting running.
  if (state.countingOn != 0 && Failed(connection.commands().ToggleCounting())) return kExitFailure;
  if (Failed(connection.commands().ToggleCounting())) return kExitFailure;
  return terminal.Print(CountingLine(state, true, inv.json)) ? kExitOk : kExitFailure;
}

int RunStop(const Invocation& inv, Terminal& terminal) {
  DeviceConnection connection(terminal.messages);
  if (const int status = connection.Connect(inv); status != kExitOk) return status;
  DeviceState& state = connection.state();
  if (state.countingOn == 0)
    return terminal.Print(CountingLine(state, false, inv.json)) ? kExitOk : kExitFailure;
  if (Failed(connection.commands().ToggleCounting())) return kExitFailure;
  return terminal.Print(CountingLine(state, true, inv.json)) ? kExitOk : kExitFailure;
}

}  // namespace kestrel::cli
