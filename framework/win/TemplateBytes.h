#pragma once
// The extended dialog template (DLGTEMPLATEEX and its items) that the dialog
// manager builds a window from, made at run time from the template data the
// other platforms use. There is no second, hand-kept copy of the layout.
#include <cstdint>
#include <vector>

#include "framework/DialogTemplate.h"

namespace fw::win {

// Predefined window-class atoms of the controls.
inline constexpr std::uint16_t kButtonAtom = 0x0080;
inline constexpr std::uint16_t kEditAtom = 0x0081;
inline constexpr std::uint16_t kStaticAtom = 0x0082;
inline constexpr std::uint16_t kComboBoxAtom = 0x0085;

// The template's window is created hidden (its visible style dropped): the
// modal run shows it, and a dialog ended during initialisation never appears.
// The result is 4-byte aligned data as the dialog manager requires.
std::vector<std::uint32_t> BuildTemplateBytes(const DialogTemplate& dialogTemplate);

}  // namespace fw::win
