#pragma once
// The per-input controls of the main window, indexed by input (0 is DI1),
// built from the wiring table (ui/InputWiring.h); every per-input operation
// goes through these arrays.
#include <array>

#include "common/DeviceState.h"
#include "framework/Controls.h"

namespace kestrel::ui {

struct InputControlTable {
  std::array<fw::CButton*, kMaxInputs> EnableCheck{};
  std::array<fw::CComboBox*, kMaxInputs> EdgeList{};
  std::array<fw::CStatic*, kMaxInputs> CountText{};
  std::array<fw::CStatic*, kMaxInputs> CountLabel{};
};

class CKestrelDlg;
InputControlTable BuildInputControls(CKestrelDlg& dialog);

}  // namespace kestrel::ui
