#pragma once
// The --verbose log on standard error, one line per event:
//
//   HH:MM:SS.mmm PEER DIR DATA
//
// HH:MM:SS.mmm is local wall-clock time; PEER is "client N" (command
// connection N, counted from 1), "config N" (configuration connection N) or
// "udp A.B.C.D:P" (the sender of a discovery datagram); DIR is "<-" for bytes
// received and "->" for bytes sent, DATA then being the bytes in upper-case
// hexadecimal separated by single spaces, or "--" for an event, DATA then
// being words. Scripts can rely on this layout.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

namespace kestrel::sim {

std::string HexBytes(const std::uint8_t* data, std::size_t length);
std::string LogLine(std::chrono::system_clock::time_point when, const std::string& peer,
                    const char* direction, const std::string& data);

class TrafficLog {
 public:
  // Without a stream the log says nothing.
  // `label`, when not empty, is put before every PEER (the device's address
  // when one process simulates several).
  explicit TrafficLog(std::ostream* out, std::string label = {})
      : out_(out), label_(label.empty() ? label : label + " ") {}

  void Received(const std::string& peer, const std::uint8_t* data, std::size_t length);
  void Sent(const std::string& peer, const std::uint8_t* data, std::size_t length);
  void Event(const std::string& peer, const std::string& text);

 private:
  void Write(const std::string& peer, const char* direction, const std::string& data);
  std::ostream* out_;
  std::string label_;
};

}  // namespace kestrel::sim
