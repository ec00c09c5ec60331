#pragma once
// `kestrel-collector totals`: pulses per period from a store file, as CSV or
// JSON Lines, while a collector may be writing it.
#include <ostream>
#include <string>
#include <vector>

namespace kestrel::collector {

// `args` follow "totals". Writes the rows to `out`, problems to `err`;
// returns the exit status: 0 done, 1 the store failed while reading, 2 a
// bad command line or a store that cannot be opened.
int RunTotalsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

std::string TotalsHelpText();

}  // namespace kestrel::collector
