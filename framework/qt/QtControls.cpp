#include "framework/qt/QtControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "framework/WindowStyles.h"
#include "framework/qt/QtFont.h"

namespace fw::qt {

using backend::DialogEvents;
using backend::Notification;

void QtWidgetPeer::SetText(const std::string& text) { SetTextOfKind(QString::fromStdString(text)); }

std::string QtWidgetPeer::Text() const { return TextOfKind().toStdString(); }

void QtWidgetPeer::SetFont(const backend::FontPeer& font, bool redraw) {
  widget_->setFont(static_cast<const QtFontPeer&>(font).font());
  if (redraw) widget_->update();
}

PixelRect QtWidgetPeer::Placement() const {
  const QRect r = widget_->geometry();
  return {r.x(), r.y(), r.width(), r.height()};
}

namespace {

// Captions, frame lines and group boxes.
class LabelPeer : public QtWidgetPeer {
 public:
  explicit LabelPeer(QLabel* label) : QtWidgetPeer(label), label_(label) {}

 protected:
  void SetTextOfKind(const QString& text) override { label_->setText(text); }
  QString TextOfKind() const override { return label_->text(); }

 private:
  QLabel* label_;
};

class FramePeer : public QtWidgetPeer {
 public:
  using QtWidgetPeer::QtWidgetPeer;

 protected:
  // A frame shows no text but keeps the one it is given, like any window.
  void SetTextOfKind(const QString& text) override { text_ = text; }
  QString TextOfKind() const override { return text_; }

 private:
  QString text_;
};

class GroupPeer : public QtWidgetPeer {
 public:
  explicit GroupPeer(QGroupBox* box) : QtWidgetPeer(box), box_(box) {}

 protected:
  void SetTextOfKind(const QString& text) override { box_->setTitle(text); }
  QString TextOfKind() const override { return box_->title(); }

 private:
  QGroupBox* box_;
};

class ButtonPeer : public QtWidgetPeer {
 public:
  explicit ButtonPeer(QAbstractButton* button) : QtWidgetPeer(button), button_(button) {}
  void SetCheck(int state) override {
    if (button_->isCheckable()) button_->setChecked(state == BST_CHECKED);
  }
  int Check() const override { return button_->isChecked() ? BST_CHECKED : BST_UNCHECKED; }

 protected:
  void SetTextOfKind(const QString& text) override { button_->setText(text); }
  QString TextOfKind() const override { return button_->text(); }

 private:
  QAbstractButton* button_;
};

// An edit that, when digits-only, refuses every typed character other than a
// decimal digit, keyed in or committed by an input method. Pasted text and
// text set by the program are not checked.
class TemplateLineEdit : public QLineEdit {
 public:
  TemplateLineEdit(bool digitsOnly, QWidget* parent) : QLineEdit(parent), digitsOnly_(digitsOnly) {}

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const QString typed = event->text();
    if (digitsOnly_ && !typed.isEmpty() && typed.at(0).isPrint()) {
      for (QChar c : typed) {
        if (c < u'0' || c > u'9') {
          event->accept();
          return;
        }
      }
    }
    QLineEdit::keyPressEvent(event);
  }

  // An input method commits whole strings; each character is judged as a
  // keystroke would be, so the digits among them go in and nothing else.
  void inputMethodEvent(QInputMethodEvent* event) override {
    const QString committed = event->commitString();
    QString digits;
    for (QChar c : committed)
      if (c >= u'0' && c <= u'9') digits.append(c);
    if (!digitsOnly_ || digits == committed) {
      QLineEdit::inputMethodEvent(event);
      return;
    }
    QInputMethodEvent filtered(event->preeditString(), event->attributes());
    filtered.setCommitString(digits, event->replacementStart(), event->replacementLength());
    QLineEdit::inputMethodEvent(&filtered);
    event->accept();
  }

 private:
  bool digitsOnly_;
};

class EditPeer : public QtWidgetPeer {
 public:
  EditPeer(QLineEdit* edit, int id, DialogEvents& events)
      : QtWidgetPeer(edit), edit_(edit), id_(id), events_(events) {}

 protected:
  void SetTextOfKind(const QString& text) override {
    // Setting the text always reports a change, even to the same text.
    if (edit_->text() == text) {
      events_.OnControlNotification(id_, Notification::TextChanged);
    } else {
      edit_->setText(text);
    }
  }
  QString TextOfKind() const override { return edit_->text(); }

 private:
  QLineEdit* edit_;
  int id_;
  DialogEvents& events_;
};

class ComboPeer : public QtWidgetPeer {
 public:
  explicit ComboPeer(QComboBox* combo) : QtWidgetPeer(combo), combo_(combo) {}

  int AddItem(const std::string& text) override {
    const int before = combo_->currentIndex();
    combo_->addItem(QString::fromStdString(text));
    // Adding an item never selects it; an empty list stays without selection.
    if (before < 0) combo_->setCurrentIndex(-1);
    return combo_->count() - 1;
  }
  void ResetItems() override { combo_->clear(); }
  int SetSelection(int index) override {
    combo_->setCurrentIndex(index >= 0 && index < combo_->count() ? index : -1);
    return combo_->currentIndex();
  }
  int Selection() const override { return combo_->currentIndex(); }
  int ItemCount() const override { return combo_->count(); }
  std::string ItemText(int index) const override {
    return index >= 0 && index < combo_->count() ? combo_->itemText(index).toStdString()
                                                 : std::string();
  }

 protected:
  void SetTextOfKind(const QString&) override {}
  QString TextOfKind() const override { return combo_->currentText(); }

 private:
  QComboBox* combo_;
};

Qt::Alignment StaticAlignment(std::uint32_t style) {
  Qt::Alignment horizontal = Qt::AlignLeft;
  if ((style & SS_TYPEMASK) == SS_RIGHT) horizontal = Qt::AlignRight;
  if ((style & SS_TYPEMASK) == SS_CENTER) horizontal = Qt::AlignHCenter;
  const Qt::Alignment vertical = (style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop;
  return horizontal | vertical;
}

std::unique_ptr<QtWidgetPeer> CreateStatic(const ControlTemplate& c, QWidget* window) {
  const std::uint32_t type = c.style & SS_TYPEMASK;
  if (type == SS_GRAYFRAME || type == SS_ETCHEDHORZ) {
    auto* frame = new QFrame(window);
    if (c.style & SS_SUNKEN || type == SS_ETCHEDHORZ) {
      frame->setFrameShape(c.rect.cx >= c.rect.cy ? QFrame::HLine : QFrame::VLine);
      frame->setFrameShadow(QFrame::Sunken);
    } else {
      frame->setFrameShape(QFrame::Box);
      frame->setFrameShadow(QFrame::Plain);
      QPalette palette = frame->palette();
      palette.setColor(QPalette::WindowText, palette.color(QPalette::Mid));
      frame->setPalette(palette);
    }
    auto peer = std::make_unique<FramePeer>(frame);
    peer->SetText(c.caption);
    return peer;
  }
  auto* label = new QLabel(window);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(StaticAlignment(c.style));
  label->setText(QString::fromUtf8(c.caption));
  return std::make_unique<LabelPeer>(label);
}

std::unique_ptr<QtWidgetPeer> CreateButton(const ControlTemplate& c, QWidget* window,
                                           DialogEvents& events) {
  const std::uint32_t type = c.style & BS_TYPEMASK;
  if (type == BS_GROUPBOX) {
    auto* box = new QGroupBox(QString::fromUtf8(c.caption), window);
    // The frame runs through the middle of the title line and the title sits
    // on it, a character in from the left, as group boxes are drawn natively.
    const QFontMetrics metrics(window->font());
    box->setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid); margin-top: %1px; }"
                                      "QGroupBox::title { subcontrol-origin: margin; left: %2px;"
                                      " padding: 0 2px; }")
                           .arg(metrics.height() / 2)
                           .arg(metrics.averageCharWidth()));
    return std::make_unique<GroupPeer>(box);
  }
  QAbstractButton* button = nullptr;
  if (type == BS_AUTOCHECKBOX) {
    button = new QCheckBox(QString::fromUtf8(c.caption), window);
  } else {
    auto* push = new QPushButton(QString::fromUtf8(c.caption), window);
    // Enter must never press a button on its own.
    push->setAutoDefault(false);
    push->setDefault(false);
    button = push;
  }
  // `clicked` comes from the operator only (and from a programmatic click),
  // never from setting the check; a check box has toggled before it.
  QObject::connect(button, &QAbstractButton::clicked, window,
                   [&events, id = c.id] { events.OnControlNotification(id, Notification::Clicked); });
  return std::make_unique<ButtonPeer>(button);
}

std::unique_ptr<QtWidgetPeer> CreateEdit(const ControlTemplate& c, QWidget* window,
                                         DialogEvents& events) {
  auto* edit = new TemplateLineEdit((c.style & ES_NUMBER) != 0, window);
  edit->setAlignment(((c.style & 0x3u) == ES_RIGHT ? Qt::AlignRight : Qt::AlignLeft) |
                     Qt::AlignVCenter);
  edit->setText(QString::fromUtf8(c.caption));
  QObject::connect(edit, &QLineEdit::textChanged, window, [&events, id = c.id] {
    events.OnControlNotification(id, Notification::TextChanged);
  });
  return std::make_unique<EditPeer>(edit, c.id, events);
}

std::unique_ptr<QtWidgetPeer> CreateCombo(const ControlTemplate& c, const QRect& dropRect,
                                          QWidget* window, DialogEvents& events) {
  auto* combo = new QComboBox(window);
  // `activated` comes only from the operator's choice, never from code.
  QObject::connect(combo, &QComboBox::activated, window, [&events, id = c.id] {
    events.OnControlNotification(id, Notification::SelectionChanged);
  });
  // The template's height is that of the opened list; the closed box takes
  // the height its font needs, the rest is room for items.
  const int closedHeight = combo->sizeHint().height();
  const int itemHeight = std::max(1, combo->fontMetrics().height() + 2);
  combo->setMaxVisibleItems(std::max(1, (dropRect.height() - closedHeight) / itemHeight));
  combo->setGeometry(dropRect.x(), dropRect.y(), dropRect.width(), closedHeight);
  return std::make_unique<ComboPeer>(combo);
}

}  // namespace

std::unique_ptr<QtWidgetPeer> CreateControl(const ControlTemplate& c, const BaseUnits& units,
                                            QWidget* window, DialogEvents& events) {
  const PixelRect px = DialogRectToPixels(c.rect, units);
  const QRect rect(px.x, px.y, px.width, px.height);
  std::unique_ptr<QtWidgetPeer> peer;
  switch (c.kind) {
    case ControlClass::Static:
      peer = CreateStatic(c, window);
      break;
    case ControlClass::Button:
      peer = CreateButton(c, window, events);
      break;
    case ControlClass::Edit:
      peer = CreateEdit(c, window, events);
      break;
    case ControlClass::ComboBox:
      peer = CreateCombo(c, rect, window, events);
      break;
  }
  auto* widget = static_cast<QWidget*>(peer->NativeHandle());
  if (c.kind != ControlClass::ComboBox) widget->setGeometry(rect);
  if (widget->focusPolicy() != Qt::NoFocus) {
    widget->setFocusPolicy((c.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
  }
  widget->setEnabled((c.style & WS_DISABLED) == 0);
  widget->setVisible((c.style & WS_VISIBLE) != 0);
  return peer;
}

}  // namespace fw::qt
