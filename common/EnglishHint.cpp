#include "common/EnglishHint.h"

#include <cstdlib>

#include "common/OperatorTexts.h"
#include "common/Protocol.h"

namespace kestrel {

namespace {

struct FixedHint {
  const char* message;
  std::string hint;
};

// Keyed by the operator texts themselves, so a changed text cannot leave its
// hint behind unnoticed (a text without a hint prints none).
const FixedHint kFixedHints[] = {
    {kMsgNoNetworkDevice,
     std::string("No usable network interface: loopback is never used. Name one with --interface, ") +
         NoInterfaceAdvice()},
    {kMsgInvalidIpAddress, "The address is empty or not a valid IPv4 address, e.g. 10.77.0.2."},
    {kMsgInvalidPort, "The port must be a number from 1 to 65535 (the device's default is " +
         std::to_string(protocol::kCommandPort) + ")."},
    {kMsgInvalidAddress, "The host name did not resolve to an IPv4 address; check it or give the address."},
    {kMsgUnsupportedModel, "This device model has no pulse-count inputs, so it cannot be used here."},
    {kMsgTargetNotFound,
     "No device answered the discovery query: check the address, the interface and that the "
     "device is on."},
    {kMsgSpontaneousMode,
     "The device is in spontaneous-notification mode: hold its RST switch for 3 s or more, "
     "then try again."},
    {kMsgReplyDataError, "The device's reply was malformed or too long; try again, or check the device."},
};

// The step letter of a network error text and what it was doing.
struct StepHint {
  char step;
  const char* doing;
};
const StepHint kSteps[] = {
    {'S', "opening a socket"},         {'B', "binding to the local interface"},
    {'C', "connecting to the device"}, {'D', "sending to the device"},
    {'R', "waiting for the reply"},    {'F', "probing for the device"},
};

// Windows Sockets numbers, which the texts use on every platform.
struct NumberHint {
  int number;
  const char* meaning;
};
const NumberHint kNumbers[] = {
    {10060, "no answer in time: is the device on and the address right?"},
    {10061, "connection refused: is the port right?"},
    {10054, "the device closed the connection: try again."},
    {10049, "the local address is not usable: check --interface."},
    {10051, "network unreachable: check --interface and the address."},
    {10065, "host unreachable: check --interface and the address."},
};

std::string NetworkHint(std::string_view text) {
  const std::string_view prefix = kNetworkErrorPrefix;
  if (text.substr(0, prefix.size()) != prefix || text.size() < prefix.size() + 3) return {};
  const char step = text[prefix.size()];
  const std::string number(text.substr(prefix.size() + 2));
  std::string hint = "Network error";
  for (const StepHint& s : kSteps)
    if (s.step == step) hint += std::string(" while ") + s.doing;
  hint += " (Windows Sockets error " + number + ")";
  const int value = std::atoi(number.c_str());
  for (const NumberHint& n : kNumbers)
    if (n.number == value) return hint + ": " + n.meaning;
  return hint + ".";
}

}  // namespace

std::string EnglishHint(std::string_view message) {
  const auto trimmed = [](std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return text;
  };
  const std::string_view text = trimmed(message);
  for (const FixedHint& h : kFixedHints)
    if (text == trimmed(h.message)) return h.hint;
  return NetworkHint(text);
}

}  // namespace kestrel
