#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "framework/testing/OperatorInput.h"

namespace fw::testing {

namespace {
QWidget* WidgetOf(const CWnd& control) { return static_cast<QWidget*>(control.GetSafeHwnd()); }

Qt::Key QtKey(Key key) {
  switch (key) {
    case Key::Enter:
      return Qt::Key_Return;
    case Key::Escape:
      return Qt::Key_Escape;
    case Key::Tab:
      return Qt::Key_Tab;
    case Key::Down:
      return Qt::Key_Down;
  }
  return Qt::Key_unknown;
}
}  // namespace

void Click(CWnd& control) {
  if (QWidget* widget = WidgetOf(control)) QTest::mouseClick(widget, Qt::LeftButton);
}

void Type(CWnd& control, const std::string& text) {
  QWidget* widget = WidgetOf(control);
  if (!widget || !widget->isEnabled() || !widget->isVisible()) return;
  widget->setFocus(Qt::OtherFocusReason);
  QTest::keyClicks(widget, QString::fromStdString(text));
}

void PressKey(CDialog& dialog, Key key) {
  auto* window = static_cast<QWidget*>(dialog.GetSafeHwnd());
  if (!window) return;
  QWidget* target = window->focusWidget() ? window->focusWidget() : window;
  if (QWidget* popup = QApplication::activePopupWidget()) target = popup;
  QTest::keyClick(target, QtKey(key));
}

void PressCloseBox(CDialog& dialog) {
  if (auto* window = static_cast<QWidget*>(dialog.GetSafeHwnd())) window->close();
}

void Pick(CComboBox& list, int index) {
  auto* combo = qobject_cast<QComboBox*>(WidgetOf(list));
  if (!combo || !combo->isEnabled() || !combo->isVisible()) return;
  if (index < 0 || index >= combo->count()) return;
  combo->showPopup();
  QAbstractItemView* view = combo->view();
  const QModelIndex item = view->model()->index(index, combo->modelColumn(), combo->rootModelIndex());
  view->scrollTo(item);
  const QPoint point = view->visualRect(item).center();
  // The popup opens on the next turns of the loop; a release on the item
  // picks it and closes the popup.
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
  if (combo->view()->isVisible()) combo->hidePopup();
}

void OpenList(CComboBox& list) {
  auto* combo = qobject_cast<QComboBox*>(WidgetOf(list));
  if (!combo || !combo->isEnabled() || !combo->isVisible()) return;
  combo->setFocus(Qt::MouseFocusReason);
  combo->showPopup();
  PumpMessages(std::chrono::milliseconds(20));
}

bool IsListOpen(CComboBox& list) {
  auto* combo = qobject_cast<QComboBox*>(WidgetOf(list));
  return combo && combo->view()->isVisible();
}

void PostToMessageLoop(std::function<void()> action) {
  QTimer::singleShot(0, qApp, std::move(action));
}

void PumpMessages(std::chrono::milliseconds duration) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < duration.count()) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    QTest::qSleep(1);
  }
}

int RunModalScript(CDialog& dialog, const std::function<void()>& script) {
  PostToMessageLoop([&dialog, &script] {
    // Let the window come up and take the focus before the script looks.
    PumpMessages(std::chrono::milliseconds(20));
    script();
    if (dialog.IsWindowVisible()) dialog.EndDialog(kLeftOpen);
  });
  return dialog.DoModal();
}

struct WindowShowCounter::Impl : QObject {
  int shown = 0;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* widget = qobject_cast<QWidget*>(watched); widget && widget->isWindow()) ++shown;
    }
    return false;
  }
};

WindowShowCounter::WindowShowCounter() : impl_(new Impl) { qApp->installEventFilter(impl_); }

WindowShowCounter::~WindowShowCounter() {
  qApp->removeEventFilter(impl_);
  delete impl_;
}

int WindowShowCounter::count() const { return impl_->shown; }

bool SaveWindowImage(CDialog& dialog, const std::string& path) {
  auto* window = static_cast<QWidget*>(dialog.GetSafeHwnd());
  return window && window->grab().save(QString::fromStdString(path), "PNG");
}

}  // namespace fw::testing
