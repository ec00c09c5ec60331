#include "sim/TrafficLog.h"

#include <cstdio>
#include <ctime>

namespace kestrel::sim {

std::string HexBytes(const std::uint8_t* data, std::size_t length) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(length * 3);
  for (std::size_t i = 0; i < length; ++i) {
    if (i != 0) text.push_back(' ');
    text.push_back(kDigits[data[i] >> 4]);
    text.push_back(kDigits[data[i] & 0x0F]);
  }
  return text;
}

std::string LogLine(std::chrono::system_clock::time_point when, const std::string& peer,
                    const char* direction, const std::string& data) {
  const auto sinceEpoch = when.time_since_epoch();
  const std::time_t seconds =
      static_cast<std::time_t>(std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch).count());
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(millis));
  return std::string(stamp) + " " + peer + " " + direction + " " + data + "\n";
}

void TrafficLog::Write(const std::string& peer, const char* direction, const std::string& data) {
  if (out_ == nullptr) return;
  *out_ << LogLine(std::chrono::system_clock::now(), label_ + peer, direction, data) << std::flush;
}

void TrafficLog::Received(const std::string& peer, const std::uint8_t* data, std::size_t length) {
  if (out_ != nullptr) Write(peer, "<-", HexBytes(data, length));
}

void TrafficLog::Sent(const std::string& peer, const std::uint8_t* data, std::size_t length) {
  if (out_ != nullptr) Write(peer, "->", HexBytes(data, length));
}

void TrafficLog::Event(const std::string& peer, const std::string& text) {
  Write(peer, "--", text);
}

}  // namespace kestrel::sim
