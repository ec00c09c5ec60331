#pragma once
// The ports a running simulator listens on; tests let the system choose them.
#include <cstdint>

namespace kestrel::testing {

struct SimPorts {
  std::uint16_t command = 0;
  std::uint16_t config = 0;
  std::uint16_t discovery = 0;
};

}  // namespace kestrel::testing
