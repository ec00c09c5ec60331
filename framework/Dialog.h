#pragma once
// A dialog window built from a template and run modally. Control
// notifications, timer ticks and painting while minimized reach member
// handlers through the dialog's message table; queued keystrokes pass the
// dialog's pre-filter before its own key handling (Escape cancels, Enter
// accepts).
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/DialogTemplate.h"
#include "framework/Icon.h"
#include "framework/MessageBox.h"
#include "framework/Wnd.h"
#include "framework/backend/Backend.h"

namespace fw {

// A queued message as the pre-filter sees it.
struct Msg {
  std::uint32_t message = 0;  // WM_KEYDOWN, WM_KEYUP, WM_CHAR
  std::uint32_t wParam = 0;   // the virtual key code (VK_RETURN, ...) or 0 for others
};

class CDialog;

// The message table.
enum class MessageKind { ControlNotification, Timer, Paint, QueryDragIcon };
using Notification = backend::Notification;
using CommandHandler = void (CDialog::*)();
using TimerHandler = void (CDialog::*)(std::uintptr_t);
using DragIconHandler = HICON (CDialog::*)();

struct MessageEntry {
  MessageKind kind;
  Notification code;  // for ControlNotification
  int id;             // the control, for ControlNotification
  CommandHandler command;
  TimerHandler timer;
  DragIconHandler dragIcon;
};

struct MessageMap {
  const MessageMap* base;  // consulted when no entry of this table matches
  std::span<const MessageEntry> entries;
};

// Entries of a derived dialog's table: `ON_CLICKED(1002, &CMyDlg::OnConnect)`
// style, with the handler's class checked at compile time.
template <class D>
MessageEntry OnClicked(int id, void (D::*handler)()) {
  return {MessageKind::ControlNotification, Notification::Clicked, id,
          static_cast<CommandHandler>(handler), nullptr, nullptr};
}
template <class D>
MessageEntry OnSelChange(int id, void (D::*handler)()) {
  return {MessageKind::ControlNotification, Notification::SelectionChanged, id,
          static_cast<CommandHandler>(handler), nullptr, nullptr};
}
template <class D>
MessageEntry OnEditChange(int id, void (D::*handler)()) {
  return {MessageKind::ControlNotification, Notification::TextChanged, id,
          static_cast<CommandHandler>(handler), nullptr, nullptr};
}
template <class D>
MessageEntry OnTimerMessage(void (D::*handler)(std::uintptr_t)) {
  return {MessageKind::Timer, Notification::Clicked, 0, nullptr,
          static_cast<TimerHandler>(handler), nullptr};
}
template <class D>
MessageEntry OnPaintMessage(void (D::*handler)()) {
  return {MessageKind::Paint, Notification::Clicked, 0, static_cast<CommandHandler>(handler),
          nullptr, nullptr};
}
template <class D>
MessageEntry OnQueryDragIconMessage(HICON (D::*handler)()) {
  return {MessageKind::QueryDragIcon, Notification::Clicked, 0, nullptr, nullptr,
          static_cast<DragIconHandler>(handler)};
}

// The control binding: attaches member wrappers to the template's controls.
class DataExchange {
 public:
  explicit DataExchange(CDialog& dialog) : dialog_(dialog) {}
  CDialog& dialog() { return dialog_; }

 private:
  CDialog& dialog_;
};
void DDX_Control(DataExchange& dx, int id, CWnd& control);

class CDialog : public CWnd, private backend::DialogEvents {
 public:
  explicit CDialog(const DialogTemplate& dialogTemplate, CWnd* parent = nullptr);
  ~CDialog() override;

  // Creates the window, initialises it, shows it and runs it until it is
  // ended; returns the result given to EndDialog. A dialog ended during
  // OnInitDialog is never shown.
  virtual int DoModal();
  void EndDialog(int result);

  // Message boxes owned by this window, captioned with the application title.
  int MessageBox(const std::string& text);
  // Null restores the platform's presenter.
  void SetMessageBoxPresenter(MessageBoxPresenter* presenter);

  // Window timers. A period of 0 ms runs as 10 ms, one above 2^31-1 ms as
  // 2^31-1 ms; setting an existing id restarts it. Returns `id`, or 0 when
  // the window does not exist.
  std::uintptr_t SetTimer(std::uintptr_t id, std::uint32_t elapseMs);
  bool KillTimer(std::uintptr_t id);

  void SetIcon(HICON icon, bool big);
  bool IsIconic() const;

  // Every control of the template, in template order, while the window exists.
  std::size_t GetControlCount() const { return controls_.size(); }
  CWnd& GetControl(std::size_t templateIndex) { return *controls_.at(templateIndex); }
  CWnd* GetDlgItem(int id);
  // The next (or previous) control in tab order that is a tab stop, shown and
  // enabled, wrapping around; from the start when `control` is null.
  CWnd* GetNextDlgTabItem(CWnd* control, bool previous = false);
  // The control that has the keyboard focus, or null.
  CWnd* GetFocus();

  BaseUnits GetDialogBaseUnits() const;
  const DialogTemplate& GetTemplate() const { return template_; }

 protected:
  // Base work: the template's list items, then the control binding. Returning
  // true puts the focus on the first tab stop.
  virtual bool OnInitDialog();
  virtual void DoDataExchange(DataExchange& dx);
  // The dialog's own key handling: Escape cancels, Enter accepts. Returns
  // true when the message was handled.
  virtual bool PreTranslateMessage(Msg& msg);
  virtual void OnOK();
  virtual void OnCancel();
  virtual const MessageMap* GetMessageMap() const;

  // Draws `icon` centred in the client area; for painting while minimized.
  void DrawIconCentred(HICON icon);

 private:
  void OnControlNotification(int controlId, Notification code) override;
  void OnTimerTick(std::uintptr_t timerId) override;
  bool OnPreTranslate(Msg& msg) override;
  void OnCloseRequested() override;
  void OnPaintMinimized() override;
  HICON OnQueryDragIcon() override;
  const MessageEntry* FindEntry(MessageKind kind, Notification code, int id) const;
  void DestroyWindow();
  static constexpr std::size_t kNoControl = static_cast<std::size_t>(-1);
  std::size_t TemplateIndexOf(int id) const;

  const DialogTemplate& template_;
  std::unique_ptr<backend::DialogHost> host_;
  std::vector<std::unique_ptr<CWnd>> controls_;
  std::vector<CWnd*> bound_;
  MessageBoxPresenter* presenter_ = nullptr;
  bool ended_ = false;
  int result_ = 0;

  friend void DDX_Control(DataExchange& dx, int id, CWnd& control);
};

// Where the centred icon goes: truncating halves of the spare room.
struct IconOrigin {
  int x;
  int y;
};
constexpr IconOrigin CentredIconOrigin(int clientWidth, int clientHeight, int iconSize) {
  return {(clientWidth - iconSize + 1) / 2, (clientHeight - iconSize + 1) / 2};
}

}  // namespace fw
