#pragma once
// The text forms of the totals: CSV rows and one JSON object per row, times
// as the collector writes them (local time with its offset), inputs named
// as in the samples ("DI1").
#include <string>

#include "collector/store/Totals.h"

namespace kestrel::collector::store {

// "period_start,device,input,pulses"
std::string TotalsCsvHeader();
std::string TotalsCsvRow(const TotalRow& row);
// {"from":...,"to":...,"device":...,"input":"DI1","pulses":N}, with
// "read":false for a period in which the input was not read.
std::string TotalsJson(const TotalRow& row);
// {"from":...,"to":...,"by":"hour","totals":ROWS}: the answer of
// /api/totals around `rows`, a JSON array of TotalsJson objects.
std::string TotalsAnswerJson(const TotalsQuery& query, const std::string& rows);

}  // namespace kestrel::collector::store
