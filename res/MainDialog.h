#pragma once
#include "framework/DialogTemplate.h"
#include "framework/Icon.h"

namespace kestrel::res {

inline constexpr int kMainDialogControlCount = 77;

// Dialog template IDD_KESTREL_DIALOG (102): the main window.
const fw::DialogTemplate& MainDialogTemplate();

// Icon IDR_MAINFRAME (128): one 16x16 and one 32x32 image, 16 colours each.
const fw::IconResource& MainIcon();

}  // namespace kestrel::res
