#include "framework/FontFaces.h"

#include <array>
#include <utility>

namespace fw {

namespace {
// The proportional and the fixed-pitch Japanese Gothic faces.
constexpr std::array<std::pair<const char*, const char*>, 2> kSubstitutes{{
    {"ＭＳ Ｐゴシック", "IPAPGothic"},
    {"ＭＳ ゴシック", "IPAGothic"},
}};
}  // namespace

std::string SubstituteFontFace(const std::string& face) {
  for (const auto& [named, installed] : kSubstitutes) {
    if (face == named) return installed;
  }
  return face;
}

}  // namespace fw
