#pragma once
// The Qt widget behind a framework window, for Qt-specific checks in tests.
#include <QWidget>

#include "framework/Wnd.h"

namespace fw::qt {

inline QWidget* WidgetOf(const CWnd& window) { return static_cast<QWidget*>(window.GetSafeHwnd()); }

}  // namespace fw::qt
