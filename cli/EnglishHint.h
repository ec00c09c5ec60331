#pragma once
// kestrelctl follows each Japanese operator text it prints with the English
// line of the shared table, which the collector's status page shows too.
#include "common/EnglishHint.h"

namespace kestrel::cli {

using kestrel::EnglishHint;

}  // namespace kestrel::cli
