// read: the counters of the enabled inputs, once or at a fixed interval.
#include <chrono>

#include "cli/Commands.h"
#include "cli/DeviceConnection.h"
#include "cli/ExitCode.h"
#include "cli/Format.h"
#include "cli/StopSignal.h"
#include "common/ModelTable.h"
#include "report/LocalClock.h"
#include "report/SampleHeader.h"

namespace kestrel::cli {

namespace {

using Clock = std::chrono::steady_clock;

// The enabled inputs as read from the device, in order; the first failure
// ends the reading (its message is out, and no later input is asked).
bool TakeSample(device::CommandSet& commands, Sample& sample) {
  const DeviceState& state = commands.state();
  sample.time = report::FormatIsoTimestamp(report::LocalNow());
  sample.inputCount = CurrentInputCount(state);
  for (std::int32_t k = 0; k < sample.inputCount; ++k) {
    if (state.inputs[k].enabled == 0) continue;
    if (Failed(commands.ReadCount(k))) return false;
    sample.counts[k] = state.inputs[k].count;
  }
  return true;
}

}  // namespace

int RunRead(const Invocation& inv, Terminal& terminal) {
  InstallStopSignals();
  DeviceConnection connection(terminal.messages);
  if (const int status = connection.Connect(inv); status != kExitOk) return status;
  if (!inv.json && !terminal.Print(report::SampleHeader(CurrentInputCount(connection.state()))))
    return kExitFailure;

  const std::uint64_t samples = inv.read.intervalSeconds ? inv.read.samples : 1;
  const auto interval = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(inv.read.intervalSeconds.value_or(0)));
  // Samples keep to a fixed grid from the first one, so the interval does not
  // drift by the time each reading takes; a reading that overruns its slot is
  // followed at once by the next, without catching up on the missed ones.
  auto due = Clock::now();
  for (std::uint64_t taken = 0; samples == 0 || taken < samples;) {
    Sample sample;
    if (!TakeSample(connection.commands(), sample)) return kExitFailure;
    if (!terminal.Print(SampleLine(sample, inv.json))) return kExitFailure;
    ++taken;
    if (samples != 0 && taken >= samples) break;
    due += interval;
    if (due < Clock::now()) due = Clock::now();
    if (!WaitUntil(due)) break;
  }
  return kExitOk;
}

}  // namespace kestrel::cli
