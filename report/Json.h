#pragma once
// Just enough JSON for one object per output line.
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel::report {

// A JSON string literal, quotes included. The text is taken as UTF-8; bytes
// that do not form valid UTF-8 become U+FFFD, so the line always parses.
std::string JsonString(std::string_view text);

// Builds {"key":value,...} in the order the members are added.
class JsonObject {
 public:
  JsonObject& Add(std::string_view key, std::int64_t value);
  JsonObject& Add(std::string_view key, std::string_view text);
  JsonObject& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
  JsonObject& AddBool(std::string_view key, bool value) { return AddRaw(key, value ? "true" : "false"); }
  // `json` is already JSON (an array, an object, null).
  JsonObject& AddRaw(std::string_view key, std::string_view json);
  std::string str() const { return text_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string text_ = "{";
};

}  // namespace kestrel::report
