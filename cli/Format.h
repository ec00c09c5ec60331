#pragma once
// What the commands print on standard output: a short readable text, or one
// JSON object per line with --json.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/DeviceState.h"
#include "net/AdapterTable.h"
#include "net/Scan.h"

namespace kestrel::cli {

std::string InterfaceLine(const net::AdapterEntry& entry, bool json);

std::string ScanLine(const net::ScanAnswer& answer, bool json);

std::string ProbeLine(std::int32_t result, const DeviceState& state, bool json);

// The device's identity and settings; the JSON form is a single line.
std::vector<std::string> InfoLines(const DeviceState& state, bool json);

// After start or stop; `changed` is false when counting already was in the
// asked state and nothing was sent.
std::string CountingLine(const DeviceState& state, bool changed, bool json);

// One reading of the counters; no value for inputs that are not enabled.
struct Sample {
  std::string time;
  std::int32_t inputCount = 0;
  std::array<std::optional<std::uint32_t>, kMaxInputs> counts{};
};

// The text form begins with report::SampleHeader; the JSON form has no header.
std::string SampleLine(const Sample& sample, bool json);

}  // namespace kestrel::cli
