#include "collector/CsvFileName.h"

namespace kestrel::collector {

std::string CsvFileStem(const std::string& device) {
  std::string safe = device;
  for (char& c : safe) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    if (!plain) c = '_';
  }
  if (!safe.empty() && safe.front() == '.') safe.front() = '_';
  return safe;
}

std::string CsvFilePath(const std::string& directory, const std::string& device, const std::string& date) {
  return directory + "/" + CsvFileStem(device) + "-" + date + ".csv";
}

}  // namespace kestrel::collector
