// The program's version as its own version resource gives it: the file
// version of the fixed block, read only when the block names a translation.
// A missing block leaves every part 0.
#include "res/VersionText.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <vector>

namespace kestrel::res {

FileVersion OwnFileVersion() {
  FileVersion version;
  std::vector<wchar_t> path(MAX_PATH);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return version;

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.data(), &ignored);
  if (size == 0) return version;
  std::vector<std::uint64_t> block(size / sizeof(std::uint64_t) + 1);
  if (!GetFileVersionInfoW(path.data(), 0, size, block.data())) return version;

  void* value = nullptr;
  UINT valueSize = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &valueSize)) return version;
  if (!VerQueryValueW(block.data(), L"\\", &value, &valueSize) || valueSize < sizeof(VS_FIXEDFILEINFO))
    return version;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  version.major = HIWORD(fixed->dwFileVersionMS);
  version.minor = LOWORD(fixed->dwFileVersionMS);
  version.build = HIWORD(fixed->dwFileVersionLS);
  version.revision = LOWORD(fixed->dwFileVersionLS);
  return version;
}

}  // namespace kestrel::res
