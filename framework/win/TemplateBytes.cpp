#include "framework/win/TemplateBytes.h"

#include <cstring>
#include <string>

#include "framework/WindowStyles.h"
#include "framework/win/Utf16.h"

namespace fw::win {

namespace {

// DLGTEMPLATEEX fields are 16- and 32-bit little-endian values, strings are
// NUL-terminated UTF-16, and every item starts on a 4-byte boundary.
class Writer {
 public:
  void Word(std::uint16_t value) { Append(&value, sizeof value); }
  void Dword(std::uint32_t value) { Append(&value, sizeof value); }
  void Short(int value) { Word(static_cast<std::uint16_t>(static_cast<std::int16_t>(value))); }
  void Byte(std::uint8_t value) { bytes_.push_back(value); }
  void Text(const char* utf8) {
    for (wchar_t c : ToUtf16(utf8 ? utf8 : "")) Word(static_cast<std::uint16_t>(c));
    Word(0);
  }
  void AlignDword() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  std::vector<std::uint32_t> Finish() {
    AlignDword();
    std::vector<std::uint32_t> words(bytes_.size() / 4);
    std::memcpy(words.data(), bytes_.data(), bytes_.size());
    return words;
  }

 private:
  void Append(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  std::vector<std::uint8_t> bytes_;
};

std::uint16_t AtomOf(ControlClass kind) {
  switch (kind) {
    case ControlClass::Button:
      return kButtonAtom;
    case ControlClass::Edit:
      return kEditAtom;
    case ControlClass::ComboBox:
      return kComboBoxAtom;
    case ControlClass::Static:
      break;
  }
  return kStaticAtom;
}

constexpr std::uint16_t kExtendedVersion = 1;
constexpr std::uint16_t kExtendedSignature = 0xFFFF;
constexpr std::uint16_t kDefaultWeight = 0;  // FW_DONTCARE: the face's normal weight
constexpr std::uint8_t kDefaultCharset = 1;  // DEFAULT_CHARSET

}  // namespace

std::vector<std::uint32_t> BuildTemplateBytes(const DialogTemplate& t) {
  const bool hasFont = t.fontFace != nullptr && t.fontFace[0] != '\0';
  std::uint32_t style = t.style & ~WS_VISIBLE;
  if (hasFont) style |= DS_SETFONT;

  Writer w;
  w.Word(kExtendedVersion);
  w.Word(kExtendedSignature);
  w.Dword(0);  // help id
  w.Dword(t.exStyle);
  w.Dword(style);
  w.Word(static_cast<std::uint16_t>(t.controls.size()));
  w.Short(0);  // the template places the window at (0, 0)
  w.Short(0);
  w.Short(t.cx);
  w.Short(t.cy);
  w.Word(0);  // no menu
  w.Word(0);  // the standard dialog class
  w.Text(t.caption);
  if (hasFont) {
    w.Word(static_cast<std::uint16_t>(t.fontPoints));
    w.Word(kDefaultWeight);
    w.Byte(0);  // not italic
    w.Byte(kDefaultCharset);
    w.Text(t.fontFace);
  }

  for (const ControlTemplate& c : t.controls) {
    w.AlignDword();
    w.Dword(0);  // help id
    w.Dword(c.exStyle);
    w.Dword(c.style);
    w.Short(c.rect.x);
    w.Short(c.rect.y);
    w.Short(c.rect.cx);
    w.Short(c.rect.cy);
    w.Dword(static_cast<std::uint32_t>(c.id));
    w.Word(0xFFFF);  // a predefined class by atom follows
    w.Word(AtomOf(c.kind));
    w.Text(c.caption);
    w.Word(0);  // no creation data
  }
  return w.Finish();
}

}  // namespace fw::win
