#include "collector/TotalsCommand.h"

#include <memory>
#include <optional>

#include "collector/store/Schema.h"
#include "collector/store/TotalsRequest.h"
#include "collector/store/TotalsText.h"

namespace kestrel::collector {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr char kProgram[] = "kestrel-collector";

struct TotalsArgs {
  std::optional<std::string> store;
  store::TotalsTexts texts;
  bool json = false;
  bool help = false;
};

// Options as the main command line takes them: "--name VALUE" or
// "--name=VALUE".
std::optional<TotalsArgs> ParseArgs(const std::vector<std::string>& args, std::string& error) {
  TotalsArgs parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::optional<std::string> value;
    if (const std::size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
    }
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      continue;
    }
    if (arg == "--json") {
      parsed.json = true;
      continue;
    }
    std::optional<std::string>* slot = arg == "--store" ? &parsed.store
                                       : arg == "--from" ? &parsed.texts.from
                                       : arg == "--to"   ? &parsed.texts.to
                                       : arg == "--by"   ? &parsed.texts.by
                                                         : nullptr;
    if (slot == nullptr && arg != "--device") {
      error = "unknown option '" + args[i] + "'";
      return std::nullopt;
    }
    if (!value) {
      if (i + 1 >= args.size()) {
        error = "option " + arg + " needs a value";
        return std::nullopt;
      }
      value = args[++i];
    }
    if (slot != nullptr) *slot = std::move(value);
    else parsed.texts.devices.push_back(std::move(*value));
  }
  return parsed;
}

int Usage(std::ostream& err, const std::string& problem) {
  err << kProgram << " totals: " << problem << "\nTry '" << kProgram << " totals --help'.\n";
  return kExitUsage;
}

}  // namespace

int RunTotalsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string error;
  const std::optional<TotalsArgs> parsed = ParseArgs(args, error);
  if (!parsed) return Usage(err, error);
  if (parsed->help) {
    out << TotalsHelpText() << std::flush;
    return kExitOk;
  }
  if (!parsed->store) return Usage(err, "--store missing");
  const std::optional<store::TotalsQuery> query = store::MakeTotalsQuery(parsed->texts, "--", error);
  if (!query) return Usage(err, error);

  const std::unique_ptr<store::Connection> db = store::OpenStoreForReading(*parsed->store, error);
  if (!db) {
    err << kProgram << ": " << *parsed->store << ": " << error << "\n";
    return kExitUsage;
  }
  if (!parsed->json) out << store::TotalsCsvHeader() << "\n";
  const bool json = parsed->json;
  const store::TotalsStatus status = store::ReadTotals(*db, *query, [&](const store::TotalRow& row) {
    out << (json ? store::TotalsJson(row) : store::TotalsCsvRow(row)) << "\n";
  }, error);
  out << std::flush;
  if (status == store::TotalsStatus::BadQuery) return Usage(err, error);
  if (status == store::TotalsStatus::StoreFailed) {
    err << kProgram << ": " << *parsed->store << ": " << error << "\n";
    return kExitFailure;
  }
  return out.good() ? kExitOk : kExitFailure;
}

std::string TotalsHelpText() {
  return R"(Usage: kestrel-collector totals --store FILE --from TIME --to TIME [OPTIONS]
Pulses per device, input and period from the store a collector writes
(--store), also while it runs. Every input with stored counts in the range
gets a row for every period, zeros included, ordered by period, device,
input: CSV with the header period_start,device,input,pulses.

      --store FILE                 the collector's store
      --from TIME                  the range's start, included
      --to TIME                    its end, not included
      --by minute|hour|day|month   the periods (hour); days and months follow
                                   local time, minutes and hours UTC's
      --device NAME                only this device; repeatable
      --json                       one JSON object a line: from, to, device,
                                   input, pulses
  -h, --help                       this text

TIME is ISO 8601 with an offset (2026-03-29T02:30:00+02:00, ...Z) or local
time without (2026-03-29T02:30, 2026-03-29 for midnight), in whole minutes.
A local time that a clock change skips or repeats needs its offset.
Exact to the minute while the store keeps minutes, to the hour before.
Exit status: 0 done, 1 the store failed while reading, 2 a bad command line
or a store that cannot be opened.
)";
}

}  // namespace kestrel::collector
