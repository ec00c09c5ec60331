#include "framework/win/Utf16.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace fw::win {

std::wstring ToUtf16(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length = static_cast<int>(utf8.size());
  const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (wide <= 0) return {};
  std::wstring text(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, text.data(), wide);
  return text;
}

std::string ToUtf8(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  const int length = static_cast<int>(utf16.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string text(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, text.data(), bytes, nullptr, nullptr);
  return text;
}

}  // namespace fw::win
