#pragma once
// The command-line options of the outputs for other systems (the metrics
// endpoint, the message broker) and of sharing a fleet between collectors.
#include <functional>
#include <optional>
#include <string>

#include "collector/Shard.h"
#include "collector/http/WebOptions.h"
#include "collector/mqtt/MqttOptions.h"

namespace kestrel::collector {

struct OutputOptions {
  bool listen = false;  // --listen given: serve metrics
  WebOptions web;
  bool probeAllowGiven = false;  // else the interface's own network
  bool mqtt = false;             // --mqtt given
  MqttOptions broker;
  std::optional<Shard> shard;
  // The store's file (--store): /api/totals reads it. Not an option of its
  // own; the start-up copies it from the configuration.
  std::optional<std::string> storePath;
};

// Takes `arg` when it is one of these options; `next` gives its value (and
// nullopt, with the error already set by the caller, when there is none).
// False when `arg` is none of them.
bool ParseOutputOption(const std::string& arg, const std::function<std::optional<std::string>()>& next,
                       OutputOptions& options, std::string& error);

// Options that only make sense with another: nullopt when all is well.
std::optional<std::string> CheckOutputOptions(const OutputOptions& options);

std::string OutputHelpText();

}  // namespace kestrel::collector
