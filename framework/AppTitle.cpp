#include "framework/AppTitle.h"

#include "framework/backend/Backend.h"

namespace fw {

std::string TitleFromExecutablePath(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const auto dot = name.find_last_of('.');
  // A leading dot is part of the name, not an extension.
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

std::string ApplicationTitle() { return TitleFromExecutablePath(backend::ExecutablePath()); }

}  // namespace fw
