#include "common/SettingWords.h"

#include <charconv>
#include <string>

#include "common/DeviceState.h"

namespace kestrel {

namespace {

bool SameLetters(std::string_view typed, std::string_view word) {
  if (typed.size() != word.size()) return false;
  for (std::size_t i = 0; i < typed.size(); ++i) {
    char c = typed[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<std::uint64_t> DecimalFromWord(std::string_view word) {
  std::uint64_t value = 0;
  if (word.empty()) return std::nullopt;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (ec != std::errc() || end != word.data() + word.size()) return std::nullopt;
  return value;
}

std::optional<std::int32_t> CountPeriodFromWord(std::string_view word) {
  for (std::size_t code = 0; code < kCountPeriodWords.size(); ++code)
    if (SameLetters(word, kCountPeriodWords[code])) return static_cast<std::int32_t>(code);
  return std::nullopt;
}

std::optional<std::int32_t> ChatterCodeFromWord(std::string_view word) {
  if (SameLetters(word, "off")) return 0;
  const auto ms = DecimalFromWord(word);
  if (!ms || *ms < 4 || *ms > 20) return std::nullopt;
  return static_cast<std::int32_t>(*ms);
}

std::optional<InputMode> InputModeFromWord(std::string_view word) {
  if (SameLetters(word, "off")) return InputMode{false, Edge::Rise};
  if (SameLetters(word, "rise")) return InputMode{true, Edge::Rise};
  if (SameLetters(word, "fall")) return InputMode{true, Edge::Fall};
  return std::nullopt;
}

std::optional<InputAssignment> SplitInputAssignment(std::string_view text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::string_view inputs = text.substr(0, eq);
  InputAssignment result;
  result.value = text.substr(eq + 1);
  if (SameLetters(inputs, "all")) {
    result.inputs = static_cast<std::uint8_t>((1u << kMaxInputs) - 1);
    return result;
  }
  if (inputs.size() > 2 && SameLetters(inputs.substr(0, 2), "di")) inputs.remove_prefix(2);
  const auto number = DecimalFromWord(inputs);
  if (!number || *number < 1 || *number > kMaxInputs) return std::nullopt;
  result.inputs = static_cast<std::uint8_t>(1u << (*number - 1));
  return result;
}

}  // namespace kestrel
