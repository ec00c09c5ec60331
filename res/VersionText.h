#pragma once
#include <cstdint>
#include <string>

namespace kestrel::res {

// The four parts of the program's file version.
struct FileVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t build = 0;
  std::uint16_t revision = 0;
};

// The version line: "Version %d.%d%d", and "Version %d.%d%d%d" when the
// revision is not 0. Nothing separates the minor part from what follows:
// 1.0.4.0 reads "Version 1.04", 1.0.4.2 "Version 1.042".
std::string FormatVersionText(const FileVersion& version);

// The version this program was built with; every part 0 when the build gave
// none.
FileVersion OwnFileVersion();

}  // namespace kestrel::res
