#pragma once
// A whole file as text, for the files the collector is set up with.
#include <cstddef>
#include <optional>
#include <string>

namespace kestrel::collector {

// Configuration, password and certificate files are a few kilobytes; a
// larger one is a mistake, and a device like /dev/zero would never end.
inline constexpr std::size_t kMaxFileTextBytes = 1024 * 1024;

// The text of a regular file of at most kMaxFileTextBytes; nullopt and
// `why` (not a regular file, too large, the system's reason) otherwise.
std::optional<std::string> ReadFileText(const std::string& path, std::string& why);

}  // namespace kestrel::collector
