#pragma once
#include <array>
#include <cstdint>

#include "common/DeviceState.h"

namespace kestrel {

struct ModelRow {
  const char* displayName;  // empty for rows without a model
  std::int32_t inputCount;  // 0: pulse counting not supported
};

inline constexpr int kModelCount = 32;

// Model index (always masked to 5 bits) -> name and number of digital inputs.
inline constexpr std::array<ModelRow, kModelCount> ModelTable{{
    {"SX-00", 3}, {"SX-01", 2}, {"SX-02", 7}, {"SX-03", 0},
    {"SX-04", 2}, {"SX-05", 5}, {"SX-06", 3}, {"", 0},
    {"", 0},      {"", 0},      {"", 0},      {"SX-11", 2},
    {"", 0},      {"SX-13", 3}, {"", 0},      {"", 0},
    {"", 0},      {"SX-17", 4}, {"", 0},      {"SX-19", 0},
    {"SX-20", 0}, {"SX-21", 8}, {"SX-22", 4}, {"", 0},
    {"", 0},      {"SX-25", 2}, {"SX-26", 2}, {"", 0},
    {"", 0},      {"", 0},      {"", 0},      {"", 0},
}};

// Rows are looked up with the index masked to the table's 5 bits, so a
// corrupted index can never read outside the table.
inline constexpr const ModelRow& ModelRowAt(std::int32_t modelIndex) {
  return ModelTable[static_cast<std::size_t>(modelIndex) & 0x1F];
}

inline constexpr std::int32_t CurrentInputCount(const DeviceState& state) {
  return ModelRowAt(state.modelIndex).inputCount;
}

}  // namespace kestrel
