#pragma once
// A whole file as text, for the files the collector is set up with.
#include <optional>
#include <string>

namespace kestrel::collector {

// Nullopt when the file cannot be opened or read to its end.
std::optional<std::string> ReadFileText(const std::string& path);

}  // namespace kestrel::collector
