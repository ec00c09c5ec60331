#include "collector/store/TotalsRequest.h"

#include "collector/http/ProbeRequest.h"

namespace kestrel::collector::store {

namespace {

bool ReadTime(const std::optional<std::string>& text, std::string_view name, std::int64_t& time,
              std::string& error) {
  const std::string label = std::string(name);
  if (!text) {
    error = label + " missing";
    return false;
  }
  std::string reason;
  const std::optional<std::int64_t> parsed = ParseTime(*text, reason);
  if (!parsed) error = label + " '" + *text + "': " + reason;
  else time = *parsed;
  return parsed.has_value();
}

}  // namespace

std::optional<TotalsQuery> MakeTotalsQuery(const TotalsTexts& texts, std::string_view prefix, std::string& error) {
  const std::string p(prefix);
  TotalsQuery query;
  if (!ReadTime(texts.from, p + "from", query.from, error) || !ReadTime(texts.to, p + "to", query.to, error))
    return std::nullopt;
  if (query.from >= query.to) {
    error = p + "from is not before " + p + "to";
    return std::nullopt;
  }
  if (texts.by) {
    const std::optional<PeriodUnit> unit = ParsePeriodUnit(*texts.by);
    if (!unit) {
      error = p + "by '" + *texts.by + "': minute, hour, day or month";
      return std::nullopt;
    }
    query.by = *unit;
  }
  if (texts.devices.size() > kMaxTotalsDevices) {
    error = "more than " + std::to_string(kMaxTotalsDevices) + " devices";
    return std::nullopt;
  }
  query.devices = texts.devices;
  return query;
}

std::optional<TotalsQuery> ParseTotalsQuery(std::string_view query, std::string& error) {
  TotalsTexts texts;
  // One more device than allowed is enough to refuse the query.
  const auto devices = QueryValues(query, "device", kMaxTotalsDevices + 1);
  if (!devices) {
    error = "device badly escaped";
    return std::nullopt;
  }
  texts.devices = *devices;
  texts.from = QueryValue(query, "from");
  texts.to = QueryValue(query, "to");
  texts.by = QueryValue(query, "by");
  return MakeTotalsQuery(texts, "", error);
}

}  // namespace kestrel::collector::store
