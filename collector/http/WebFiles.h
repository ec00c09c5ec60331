#pragma once
// The files the HTTP endpoint is set up with, read and checked before it
// serves: a wrong file is named at start, instead of every request failing
// later.
#include <optional>
#include <string>

#include "collector/http/BasicAuth.h"

namespace kestrel::collector {

// Nullopt and "PATH: what" when the file cannot be read or has a bad line.
std::optional<PasswordFile> LoadPasswordFile(const std::string& path, std::string& error);

}  // namespace kestrel::collector
