// The dialog window on Qt Widgets: a fixed-size QDialog holding the template's
// controls, a keyboard pre-filter in front of the widgets' own key handling,
// window timers and the modal loop.
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QDialog>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <vector>

#include "framework/Dialog.h"
#include "framework/WindowStyles.h"
#include "framework/qt/QtControls.h"
#include "framework/qt/QtFont.h"
#include "framework/qt/QtTimers.h"

namespace fw::qt {

namespace {

std::uint32_t VirtualKeyOf(int key) {
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return VK_RETURN;
    case Qt::Key_Escape:
      return VK_ESCAPE;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return VK_TAB;
    default:
      if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) {
        return static_cast<std::uint32_t>(key);  // the same codes as the virtual keys
      }
      return 0;
  }
}

// The dialog window. Closing and the toolkit's own accept/reject paths all go
// to the dialog object, which alone decides whether the window ends.
class DialogWindow : public QDialog {
 public:
  explicit DialogWindow(backend::DialogEvents& events) : events_(events) {}
  void EndNow() {
    ending_ = true;
    QDialog::done(0);
  }
  QPainter* painter() const { return painter_; }

  void accept() override {}
  void reject() override {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (ending_) return QDialog::closeEvent(event);
    event->ignore();
    events_.OnCloseRequested();
  }
  void paintEvent(QPaintEvent* event) override {
    if (!isMinimized()) return QDialog::paintEvent(event);
    QPainter painter(this);
    painter_ = &painter;
    events_.OnPaintMinimized();
    painter_ = nullptr;
  }

 private:
  backend::DialogEvents& events_;
  bool ending_ = false;
  QPainter* painter_ = nullptr;
};

class WindowPeer : public QtWidgetPeer {
 public:
  explicit WindowPeer(DialogWindow* window) : QtWidgetPeer(window), window_(window) {}
  PixelRect Placement() const override { return {0, 0, window_->width(), window_->height()}; }

 protected:
  void SetTextOfKind(const QString& text) override { window_->setWindowTitle(text); }
  QString TextOfKind() const override { return window_->windowTitle(); }

 private:
  DialogWindow* window_;
};

class QtDialogHost : public backend::DialogHost, public QObject {
 public:
  QtDialogHost(const DialogTemplate& t, backend::DialogEvents& events)
      : events_(events), window_(new DialogWindow(events)), timers_(window_, events) {
    window_->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                            Qt::WindowCloseButtonHint);
    window_->setFont(PointFont(t.fontPoints * 10, t.fontFace));
    units_ = MeasureBaseUnits();
    window_->setFixedSize(DialogUnitsToPixelsX(t.cx, units_), DialogUnitsToPixelsY(t.cy, units_));
    windowPeer_ = std::make_unique<WindowPeer>(window_);
    windowPeer_->SetText(t.caption);

    // Creation order is template order, which makes it the tab order too.
    for (const ControlTemplate& control : t.controls) {
      controls_.push_back(CreateControl(control, units_, window_, events));
    }
    LinkMnemonicCaptions(t);
    qApp->installEventFilter(this);
  }

  ~QtDialogHost() override {
    qApp->removeEventFilter(this);
    delete window_;
  }

  backend::ControlPeer& Window() override { return *windowPeer_; }
  std::size_t ControlCount() const override { return controls_.size(); }
  backend::ControlPeer& Control(std::size_t i) override { return *controls_.at(i); }
  BaseUnits DialogBaseUnits() const override { return units_; }
  backend::WindowTimers& Timers() override { return timers_; }
  bool IsMinimized() const override { return window_->isMinimized(); }
  void* NativeWindow() override { return window_; }

  void SetIcon(HICON icon, bool) override {
    // One window icon carries every size; the window system picks the big
    // or the small image as it needs.
    if (!icon) return;
    window_->setWindowIcon(IconFrom(*icon));
  }

  void RunModal() override {
    if (!ended_) window_->exec();
  }
  void EndModal() override {
    ended_ = true;
    window_->EndNow();
  }

  PixelRect ClientRect() const override { return {0, 0, window_->width(), window_->height()}; }
  int SystemIconSize() const override {
    return window_->style()->pixelMetric(QStyle::PM_LargeIconSize);
  }
  void DrawIcon(HICON icon, int x, int y) override {
    if (QPainter* painter = window_->painter(); painter && icon) {
      const int size = SystemIconSize();
      painter->drawPixmap(x, y, IconFrom(*icon).pixmap(size, size));
    }
  }

 protected:
  // Queued keystrokes meant for this window pass the dialog's pre-filter
  // before the focused widget sees them. Other windows (a list's open popup,
  // a message box) keep their own keys.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window_) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    Msg msg{event->type() == QEvent::KeyPress ? WM_KEYDOWN : WM_KEYUP, VirtualKeyOf(key->key())};
    return events_.OnPreTranslate(msg);
  }

 private:
  BaseUnits MeasureBaseUnits() const {
    const QFontMetrics metrics(window_->font(), window_);
    return {AverageCharWidthFromExtent(metrics.horizontalAdvance(kAverageWidthLetters)),
            metrics.height()};
  }

  // A caption with a mnemonic moves the focus to the next tab stop after it.
  void LinkMnemonicCaptions(const DialogTemplate& t) {
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
      const ControlTemplate& c = t.controls[i];
      if (c.kind != ControlClass::Static || (c.style & SS_NOPREFIX)) continue;
      auto* label = qobject_cast<QLabel*>(static_cast<QWidget*>(controls_[i]->NativeHandle()));
      if (!label || !label->text().contains(u'&')) continue;
      for (std::size_t j = i + 1; j < t.controls.size(); ++j) {
        if (t.controls[j].style & WS_TABSTOP) {
          label->setBuddy(static_cast<QWidget*>(controls_[j]->NativeHandle()));
          break;
        }
      }
    }
  }

  static QIcon IconFrom(const IconResource& resource) {
    QByteArray bytes(reinterpret_cast<const char*>(resource.data),
                     static_cast<qsizetype>(resource.size));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ico");
    QIcon result;
    for (int i = 0; i < std::max(1, reader.imageCount()); ++i) {
      if (i > 0 && !reader.jumpToImage(i)) break;
      const QImage image = reader.read();
      if (!image.isNull()) result.addPixmap(QPixmap::fromImage(image));
    }
    return result;
  }

  backend::DialogEvents& events_;
  DialogWindow* window_;
  QtWindowTimers timers_;
  BaseUnits units_;
  std::unique_ptr<WindowPeer> windowPeer_;
  std::vector<std::unique_ptr<QtWidgetPeer>> controls_;
  bool ended_ = false;
};

}  // namespace

}  // namespace fw::qt

namespace fw::backend {

std::unique_ptr<DialogHost> CreateDialogHost(const DialogTemplate& dialogTemplate,
                                             DialogEvents& events) {
  return std::make_unique<qt::QtDialogHost>(dialogTemplate, events);
}

}  // namespace fw::backend
