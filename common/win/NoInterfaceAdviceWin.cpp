#include "common/EnglishHint.h"

namespace kestrel {

// The zip holds no simulator and no demo network: a device is what to reach.
const char* NoInterfaceAdvice() { return "or connect this PC to the device's network."; }

}  // namespace kestrel
