#pragma once
// Faces named by the templates and the program that this platform does not
// have under that name. The font matcher alone would fall back to a Latin
// face, so the closest installed Gothic faces are named explicitly.
#include <string>

namespace fw {

// The installed face that stands in for `face`; `face` itself when no
// substitute is known.
std::string SubstituteFontFace(const std::string& face);

}  // namespace fw
