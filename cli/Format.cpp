#include "cli/Format.h"

#include <cstdio>

#include "common/ModelTable.h"
#include "common/OperatorTexts.h"
#include "device/CountingState.h"
#include "net/AddressText.h"
#include "report/Json.h"

namespace kestrel::cli {

using report::JsonObject;
using report::JsonString;

namespace {

// The window's own words for the count periods, the chatter filter list
// (without the list's leading blank) and the edges.

std::string PeriodWord(std::int32_t period) {
  if (period >= 0 && period < std::ssize(kCountPeriodNames)) return kCountPeriodNames[period];
  return "code " + std::to_string(period);
}

// Codes the window's list has no entry for are shown by number.
std::string ChatterWord(std::int32_t code) {
  if (code == 0) return "off";
  if (code >= 4 && code <= 20) return std::to_string(code) + " m秒";
  return "code " + std::to_string(code);
}

std::string InputWord(const InputConfig& input) {
  if (input.enabled == 0) return "off";
  return kEdgeNames[input.edge != 0 ? 1 : 0];
}

// The product code as received, up to a NUL byte.
std::string ProductCode(const DeviceState& state) {
  std::string code;
  for (char c : state.productCode) {
    if (c == '\0') break;
    code += c;
  }
  return code;
}

// Bytes a terminal could misread are shown as \xHH.
std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out;
}

}  // namespace

std::string InterfaceLine(const net::AdapterEntry& entry, bool json) {
  if (!json) return net::AdapterListText(entry);
  return JsonObject()
      .Add("ifIndex", entry.ifIndex)
      .Add("address", net::FormatAddress(entry.address))
      .Add("friendlyName", entry.friendlyName)
      .Add("description", entry.description)
      .str();
}

std::string ProbeLine(std::int32_t result, const DeviceState& state, bool json) {
  if (json)
    return JsonObject()
        .Add("result", result)
        .Add("probeKind", state.probeKind)
        .Add("productCode", ProductCode(state))
        .Add("protocolFamily", state.protocolFamily)
        .str();
  return "probe: result=" + std::to_string(result) + " kind=" + std::to_string(state.probeKind) +
         " product=" + Printable(ProductCode(state)) +
         " family=" + std::to_string(state.protocolFamily);
}

std::string ScanLine(const net::ScanAnswer& answer, bool json) {
  const std::string address = net::FormatAddress(answer.source.address);
  const std::string product(answer.productCode.data(), answer.productCode.size());
  if (json)
    return JsonObject()
        .Add("address", address)
        .Add("port", std::int64_t{answer.source.port})
        .Add("productCode", product)
        .Add("probeKind", answer.probeKind)
        .AddBool("supported", answer.supported)
        .str();
  return address + " product=" + Printable(product) + " kind=" + std::to_string(answer.probeKind) +
         " supported=" + (answer.supported ? "yes" : "no");
}

std::vector<std::string> InfoLines(const DeviceState& state, bool json) {
  const std::int32_t inputCount = CurrentInputCount(state);
  if (json) {
    std::string inputs = "[";
    for (std::int32_t k = 0; k < inputCount; ++k) {
      if (k != 0) inputs += ',';
      inputs += JsonObject()
                    .Add("enabled", state.inputs[k].enabled)
                    .Add("edge", state.inputs[k].edge)
                    .str();
    }
    inputs += ']';
    return {JsonObject()
                .Add("unitId", state.unitId)
                .Add("modelIndex", state.modelIndex)
                .Add("model", ModelRowAt(state.modelIndex).displayName)
                .Add("inputCount", inputCount)
                .Add("protocolFamily", state.protocolFamily)
                .Add("countingOn", state.countingOn)
                .Add("startStopRunning", state.startStopRunning)
                .Add("countPeriod", state.countPeriod)
                .Add("chatterCode", state.chatterCode)
                .AddRaw("inputs", inputs)
                .str()};
  }
  std::vector<std::string> lines = {
      "unit: " + std::to_string(state.unitId),
      "model: " + std::string(ModelRowAt(state.modelIndex).displayName),
      "inputs: " + std::to_string(inputCount),
      "protocol family: " + std::to_string(state.protocolFamily),
      std::string("counting: ") + PulseCountText(device::CountingState(state)),
      std::string("counting switch: ") + (state.countingOn != 0 ? "on" : "off"),
      std::string("start-stop gate: ") + (state.startStopRunning != 0 ? "running" : "stopped"),
      "period: " + PeriodWord(state.countPeriod),
      "chatter: " + ChatterWord(state.chatterCode),
  };
  for (std::int32_t k = 0; k < inputCount; ++k)
    lines.push_back("DI" + std::to_string(k + 1) + ": " + InputWord(state.inputs[k]));
  return lines;
}

std::string CountingLine(const DeviceState& state, bool changed, bool json) {
  if (json)
    return JsonObject()
        .Add("countingOn", state.countingOn)
        .Add("startStopRunning", state.startStopRunning)
        .AddBool("changed", changed)
        .str();
  const bool on = state.countingOn != 0;
  if (!changed) return on ? "counting already on" : "counting already off";
  return on ? "counting started" : "counting stopped";
}

std::string SampleLine(const Sample& sample, bool json) {
  std::string values;
  for (std::int32_t k = 0; k < sample.inputCount; ++k) {
    if (k != 0 || !json) values += ',';
    const auto& count = sample.counts[k];
    if (count) {
      values += std::to_string(*count);
    } else if (json) {
      values += "null";
    }
  }
  if (!json) return sample.time + values;
  return JsonObject().Add("time", sample.time).AddRaw("counts", "[" + values + "]").str();
}

}  // namespace kestrel::cli
