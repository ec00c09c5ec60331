#pragma once
// A dialog template as data: the window's caption, size, font and styles,
// its controls in creation order (which is also the tab order) and the items
// that the lists receive when the window is created.
#include <cstdint>
#include <span>

namespace fw {

// The predefined control classes a template may name.
enum class ControlClass { Static, Button, Edit, ComboBox };

// Position and size in dialog units, relative to the dialog's client area.
struct DialogRect {
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
};

struct ControlTemplate {
  int id;              // IDC_STATIC (-1) for controls nothing refers to
  ControlClass kind;
  const char* caption;  // UTF-8
  DialogRect rect;
  std::uint32_t style;
  std::uint32_t exStyle;
};

// Initial items of one list, added in template order before the control
// binding runs.
struct ListInit {
  int id;
  std::span<const char* const> items;
};

struct DialogTemplate {
  int id;
  const char* caption;
  int cx;  // client size in dialog units
  int cy;
  const char* fontFace;
  int fontPoints;
  std::uint32_t style;
  std::uint32_t exStyle;
  std::span<const ControlTemplate> controls;
  std::span<const ListInit> lists;
};

}  // namespace fw
