#pragma once
#include <cstdint>

namespace kestrel {

// Operations answer with the system-wide status convention: 0 for success and
// the generic failure code 0x80004005 otherwise (negative when read as signed).
using Status = std::int32_t;
inline constexpr Status kStatusOk = 0;
inline constexpr Status kStatusFail = static_cast<Status>(0x80004005u);

inline constexpr bool Succeeded(Status s) { return s >= 0; }
inline constexpr bool Failed(Status s) { return s < 0; }

}  // namespace kestrel
