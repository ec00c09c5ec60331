#pragma once
#include <string>

namespace fw {

// The application title: the executable's file name without directory and
// extension ("/opt/kestrel/KestrelW" and "C:\\k\\KestrelW.exe" give
// "KestrelW"). It captions every message box.
std::string TitleFromExecutablePath(const std::string& path);

// The title of the running executable.
std::string ApplicationTitle();

}  // namespace fw
