#pragma once
// Mode check on the configuration port for protocol family 5: a device in its
// spontaneous-notification mode ("MODE" = "1") is refused.
#include <cstddef>
#include <cstdint>

#include "common/OperatorTexts.h"
#include "common/Task.h"
#include "device/CommandSet.h"
#include "device/Session.h"

namespace kestrel::device {

enum class ModeCheckOutcome { Passed, Refused, LinkFailed };

// True when the dump holds the pair "MODE"/"1" before its closing name "END".
bool DumpShowsSpontaneousMode(const std::uint8_t* reply, std::size_t length);

// Runs the check (the main connection is closed and reopened around it) and
// tells the operator about a failure or a refusal.
ModeCheckOutcome RunModeCheck(CommandSet& commands, std::uint16_t configPort);
// The same as a step over any exchanges.
Task<ModeCheckOutcome> ModeCheckSteps(Session s, std::uint16_t configPort);

}  // namespace kestrel::device
