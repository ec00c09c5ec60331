// Point-size fonts for the screen, as the window system's font mapper makes
// them: the height from the display's vertical resolution, everything else
// at its default.
#include "framework/backend/Backend.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "framework/win/Utf16.h"
#include "framework/win/Win32Font.h"

namespace fw::backend {

std::unique_ptr<FontPeer> CreatePointFont(int tenthsOfPoint, const std::string& face) {
  LOGFONTW font{};
  HDC screen = GetDC(nullptr);
  font.lfHeight = -MulDiv(tenthsOfPoint, GetDeviceCaps(screen, LOGPIXELSY), 720);
  ReleaseDC(nullptr, screen);
  font.lfCharSet = DEFAULT_CHARSET;
  // Faces the system lacks are replaced by its own font substitution.
  const std::wstring name = win::ToUtf16(face);
  wcsncpy(font.lfFaceName, name.c_str(), LF_FACESIZE - 1);
  HFONT handle = CreateFontIndirectW(&font);
  if (handle == nullptr) return nullptr;
  return std::make_unique<win::Win32FontPeer>(handle);
}

}  // namespace fw::backend

namespace fw::win {

Win32FontPeer::~Win32FontPeer() { DeleteObject(static_cast<HFONT>(handle_)); }

}  // namespace fw::win
