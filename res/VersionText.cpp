#include "res/VersionText.h"

#include <cstdio>

namespace kestrel::res {

std::string FormatVersionText(const FileVersion& v) {
  char text[64];
  if (v.revision != 0) {
    std::snprintf(text, sizeof text, "Version %d.%d%d%d", v.major, v.minor, v.build, v.revision);
  } else {
    std::snprintf(text, sizeof text, "Version %d.%d%d", v.major, v.minor, v.build);
  }
  return text;
}

}  // namespace kestrel::res
