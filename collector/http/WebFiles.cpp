#include "collector/http/WebFiles.h"

#include "collector/FileText.h"

namespace kestrel::collector {

std::optional<PasswordFile> LoadPasswordFile(const std::string& path, std::string& error) {
  const auto text = ReadFileText(path);
  if (!text) {
    error = path + ": cannot be read";
    return std::nullopt;
  }
  std::string why;
  auto parsed = PasswordFile::Parse(*text, why);
  if (!parsed) error = path + ": " + why;
  return parsed;
}

}  // namespace kestrel::collector
