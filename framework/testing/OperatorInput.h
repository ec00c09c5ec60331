#pragma once
// Drives a dialog the way an operator does, through the platform's own input
// path (mouse clicks, keystrokes, picks in an opened list), for tests. A
// disabled or hidden control refuses this input just as it refuses a person.
#include <chrono>
#include <functional>
#include <string>

#include "framework/Dialog.h"

namespace fw::testing {

enum class Key { Enter, Escape, Tab, Down };

// A left click in the middle of the control.
void Click(CWnd& control);
// Focuses the control and types the text character by character.
void Type(CWnd& control, const std::string& text);
// A key press and release sent where the platform sends it: to an open
// drop-down list, else to whichever control of `dialog` has the focus.
void PressKey(CDialog& dialog, Key key);
// The window's close box.
void PressCloseBox(CDialog& dialog);
// Opens the list and picks item `index` with the mouse.
void Pick(CComboBox& list, int index);
// Focuses the list and drops it down, leaving it open.
void OpenList(CComboBox& list);
bool IsListOpen(CComboBox& list);

// Runs `action` from the message loop of the dialog that is running then.
void PostToMessageLoop(std::function<void()> action);
// Lets the message loop run for `duration` (timers fire, input is handled).
void PumpMessages(std::chrono::milliseconds duration);

// Runs `dialog` modally and calls `script` once it is shown. When the script
// leaves the dialog running (shown), it is ended with kLeftOpen. Returns the result
// of DoModal.
inline constexpr int kLeftOpen = 0x5EED;
int RunModalScript(CDialog& dialog, const std::function<void()>& script);

// Counts how often any window of the program was shown since construction.
class WindowShowCounter {
 public:
  WindowShowCounter();
  ~WindowShowCounter();
  WindowShowCounter(const WindowShowCounter&) = delete;
  WindowShowCounter& operator=(const WindowShowCounter&) = delete;
  int count() const;

 private:
  struct Impl;
  Impl* impl_;
};

// Saves an image of the dialog's window as a PNG file.
bool SaveWindowImage(CDialog& dialog, const std::string& path);

}  // namespace fw::testing
