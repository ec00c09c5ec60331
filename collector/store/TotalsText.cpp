#include "collector/store/TotalsText.h"

#include <chrono>

#include "collector/RecordText.h"
#include "report/Json.h"

namespace kestrel::collector::store {

namespace {

std::string Time(std::int64_t seconds) { return IsoTime(WallClock::time_point(std::chrono::seconds(seconds))); }

std::string InputName(int input) { return "DI" + std::to_string(input); }

// Device names come from the configuration and may hold anything; a field
// with a separator, quote or line break is quoted, its quotes doubled.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

std::string TotalsCsvHeader() { return "period_start,device,input,pulses"; }

std::string TotalsCsvRow(const TotalRow& row) {
  return Time(row.start) + "," + CsvField(row.device) + "," + InputName(row.input) + "," +
         std::to_string(row.pulses);
}

std::string TotalsJson(const TotalRow& row) {
  report::JsonObject json;
  json.Add("from", Time(row.start))
      .Add("to", Time(row.end))
      .Add("device", row.device)
      .Add("input", InputName(row.input))
      .Add("pulses", row.pulses);
  // Only where it matters, so that the usual rows stay as they were.
  if (!row.read) json.AddBool("read", false);
  return json.str();
}

std::string TotalsAnswerJson(const TotalsQuery& query, const std::string& rows) {
  return report::JsonObject()
      .Add("from", Time(query.from))
      .Add("to", Time(query.to))
      .Add("by", PeriodUnitName(query.by))
      .AddRaw("totals", rows)
      .str();
}

}  // namespace kestrel::collector::store
