#pragma once
// The framework's texts are UTF-8; the window system's wide-character calls
// take UTF-16.
#include <string>

namespace fw::win {

std::wstring ToUtf16(const std::string& utf8);
std::string ToUtf8(const std::wstring& utf16);

}  // namespace fw::win
