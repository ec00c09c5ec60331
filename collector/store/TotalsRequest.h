#pragma once
// A totals query as a person or a program asks for it: the times, the
// period and the devices as texts, from the command line or the query
// string of GET /api/totals. Pure, so the fuzz target reaches it.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collector/store/Totals.h"

namespace kestrel::collector::store {

struct TotalsTexts {
  std::optional<std::string> from;  // required
  std::optional<std::string> to;    // required
  std::optional<std::string> by;    // "hour" when absent
  std::vector<std::string> devices;
};

// The most device names one query may filter by.
inline constexpr std::size_t kMaxTotalsDevices = 1000;

// The query, or nullopt and why; parameter names in the message carry
// `prefix` ("--" on the command line).
std::optional<TotalsQuery> MakeTotalsQuery(const TotalsTexts& texts, std::string_view prefix, std::string& error);

// "from=...&to=...&by=...&device=...&device=...", percent-escaped.
std::optional<TotalsQuery> ParseTotalsQuery(std::string_view query, std::string& error);

}  // namespace kestrel::collector::store
