#include "common/EnglishHint.h"

namespace kestrel {

const char* NoInterfaceAdvice() { return "or run inside the demo network (bash scripts/run.sh --shell)."; }

}  // namespace kestrel
