#pragma once
// Qt widgets for the controls of a dialog template, each behind a peer.
#include <QWidget>
#include <memory>

#include "framework/DialogTemplate.h"
#include "framework/backend/Backend.h"

namespace fw::qt {

// The common part of every peer: a widget inside the dialog window.
class QtWidgetPeer : public backend::ControlPeer {
 public:
  explicit QtWidgetPeer(QWidget* widget) : widget_(widget) {}

  void SetText(const std::string& text) override;
  std::string Text() const override;
  void SetEnabled(bool enabled) override { widget_->setEnabled(enabled); }
  bool IsEnabled() const override { return widget_->isEnabled(); }
  void SetShown(bool shown) override { widget_->setVisible(shown); }
  bool IsShown() const override { return !widget_->isHidden(); }
  bool IsVisible() const override { return widget_->isVisible(); }
  void SetFont(const backend::FontPeer& font, bool redraw) override;
  void SetFocus() override { widget_->setFocus(Qt::OtherFocusReason); }
  bool HasFocus() const override { return widget_->window()->focusWidget() == widget_; }
  PixelRect Placement() const override;
  void* NativeHandle() const override { return widget_; }

  void SetCheck(int) override {}
  int Check() const override { return 0; }
  int AddItem(const std::string&) override { return -1; }
  void ResetItems() override {}
  int SetSelection(int) override { return -1; }
  int Selection() const override { return -1; }
  int ItemCount() const override { return 0; }
  std::string ItemText(int) const override { return {}; }

 protected:
  QWidget* widget() const { return widget_; }
  virtual void SetTextOfKind(const QString& text) = 0;
  virtual QString TextOfKind() const = 0;

 private:
  QWidget* widget_;
};

// Creates the widget for one template control as a child of `window`, wires
// its notifications to `events` and returns its peer.
std::unique_ptr<QtWidgetPeer> CreateControl(const ControlTemplate& control, const BaseUnits& units,
                                            QWidget* window, backend::DialogEvents& events);

}  // namespace fw::qt
