#include "framework/win/NativeIcon.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace fw::win {

namespace {

// Layout of an icon file: a 6-byte header, then one 16-byte entry per image
// giving its width, height, byte count and offset in the file.
constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr DWORD kIconFormatVersion = 0x00030000;

std::uint32_t ReadU32(const unsigned char* p) {
  std::uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}
std::uint16_t ReadU16(const unsigned char* p) {
  std::uint16_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

::HICON MakeIcon(const IconResource& resource, int size) {
  const unsigned char* data = resource.data;
  if (data == nullptr || resource.size < kHeaderSize) return nullptr;
  const std::size_t count = ReadU16(data + 4);
  const unsigned char* best = nullptr;
  int bestDistance = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = kHeaderSize + i * kEntrySize;
    if (at + kEntrySize > resource.size) break;
    const unsigned char* entry = data + at;
    const int width = entry[0] == 0 ? 256 : entry[0];
    const std::uint32_t bytes = ReadU32(entry + 8);
    const std::uint32_t offset = ReadU32(entry + 12);
    if (offset > resource.size || bytes > resource.size - offset) continue;
    const int distance = std::abs(width - size);
    if (best == nullptr || distance < bestDistance) {
      best = entry;
      bestDistance = distance;
    }
  }
  if (best == nullptr) return nullptr;
  // CreateIconFromResourceEx wants writable-looking bytes; it does not write.
  auto* image = const_cast<PBYTE>(data + ReadU32(best + 12));
  return CreateIconFromResourceEx(image, ReadU32(best + 8), TRUE, kIconFormatVersion, size, size,
                                  LR_DEFAULTCOLOR);
}

}  // namespace

IconCache::~IconCache() {
  for (auto& [key, icon] : icons_) {
    if (icon != nullptr) DestroyIcon(icon);
  }
}

HICON__* IconCache::Get(const IconResource& resource, int size) {
  const auto key = std::make_pair(&resource, size);
  const auto found = icons_.find(key);
  if (found != icons_.end()) return found->second;
  ::HICON icon = MakeIcon(resource, size);
  icons_.emplace(key, icon);
  return icon;
}

}  // namespace fw::win
