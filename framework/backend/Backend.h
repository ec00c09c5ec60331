#pragma once
// What a platform backend provides to the framework classes: one interface
// per concern (controls and dialog window, timers, fonts, message boxes, the
// platform's application object). The framework's public headers never show the
// toolkit's types; a backend's sources are the only place that knows them.
#include <cstdint>
#include <memory>
#include <string>

#include "framework/DialogTemplate.h"
#include "framework/DialogUnits.h"
#include "framework/Icon.h"

namespace fw {
struct Msg;
}

namespace fw::backend {

// Control notifications that reach the dialog's message table.
enum class Notification { Clicked, SelectionChanged, TextChanged };

class FontPeer {
 public:
  virtual ~FontPeer() = default;
};

std::unique_ptr<FontPeer> CreatePointFont(int tenthsOfPoint, const std::string& face);

// One native control, or the dialog window itself. Operations that do not
// apply to the kind (a check on an edit, items on a button) do nothing and
// answer 0, -1 or empty.
class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void SetText(const std::string& text) = 0;
  virtual std::string Text() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool IsEnabled() const = 0;
  virtual void SetShown(bool shown) = 0;
  virtual bool IsShown() const = 0;    // its own visibility flag
  virtual bool IsVisible() const = 0;  // shown and all its parents shown
  virtual void SetFont(const FontPeer& font, bool redraw) = 0;
  virtual void SetFocus() = 0;
  virtual bool HasFocus() const = 0;
  virtual PixelRect Placement() const = 0;  // in the dialog's client area
  virtual void* NativeHandle() const = 0;   // the toolkit's own object

  virtual void SetCheck(int state) = 0;
  virtual int Check() const = 0;

  virtual int AddItem(const std::string& text) = 0;  // index of the new item
  virtual void ResetItems() = 0;
  virtual int SetSelection(int index) = 0;  // the new index, -1 for none or out of range
  virtual int Selection() const = 0;
  virtual int ItemCount() const = 0;
  virtual std::string ItemText(int index) const = 0;
};

// How the window reports to its dialog object.
class DialogEvents {
 public:
  virtual ~DialogEvents() = default;
  virtual void OnControlNotification(int controlId, Notification code) = 0;
  virtual void OnTimerTick(std::uintptr_t timerId) = 0;
  // A queued keyboard message before the dialog's own key handling; true
  // when it was handled and must go no further.
  virtual bool OnPreTranslate(Msg& msg) = 0;
  virtual void OnCloseRequested() = 0;  // the close box or the system menu
  virtual void OnPaintMinimized() = 0;
  // The icon to show while the minimized window is dragged; null for the
  // platform default. Only platforms that ask for one call it.
  virtual HICON OnQueryDragIcon() { return nullptr; }
};

class WindowTimers {
 public:
  virtual ~WindowTimers() = default;
  // Starts or restarts timer `id`; a tick that falls due while the thread is
  // busy is delivered once, later ticks do not pile up.
  virtual bool Set(std::uintptr_t id, std::uint32_t periodMs) = 0;
  virtual bool Kill(std::uintptr_t id) = 0;
};

// The dialog window with the controls of its template, created hidden.
class DialogHost {
 public:
  virtual ~DialogHost() = default;
  virtual ControlPeer& Window() = 0;
  virtual std::size_t ControlCount() const = 0;
  virtual ControlPeer& Control(std::size_t templateIndex) = 0;
  virtual BaseUnits DialogBaseUnits() const = 0;
  virtual WindowTimers& Timers() = 0;
  virtual void SetIcon(HICON icon, bool big) = 0;
  virtual bool IsMinimized() const = 0;
  virtual void* NativeWindow() = 0;

  // Shows the window and runs its modal loop until EndModal.
  virtual void RunModal() = 0;
  virtual void EndModal() = 0;

  // Painting while minimized: the client size, the platform's icon size and
  // drawing an icon at a client position.
  virtual PixelRect ClientRect() const = 0;
  virtual int SystemIconSize() const = 0;
  virtual void DrawIcon(HICON icon, int x, int y) = 0;
};

std::unique_ptr<DialogHost> CreateDialogHost(const DialogTemplate& dialogTemplate,
                                             DialogEvents& events);

// The platform's application object, alive while the program runs its windows.
class PlatformApp {
 public:
  virtual ~PlatformApp() = default;
  virtual int RunMessageLoop() = 0;
};
std::unique_ptr<PlatformApp> StartPlatformApp(int& argc, char** argv);

std::string ExecutablePath();

}  // namespace fw::backend
