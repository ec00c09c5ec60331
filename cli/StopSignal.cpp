#include "cli/StopSignal.h"

#include <algorithm>
#include <thread>

namespace kestrel::cli {

bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
  constexpr auto kSlice = std::chrono::milliseconds(20);
  while (!StopRequested()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(deadline - now, kSlice));
  }
  return false;
}

}  // namespace kestrel::cli
