#include <QMessageBox>
#include <QWidget>

#include "framework/MessageBox.h"
#include "framework/WindowStyles.h"

namespace fw {

namespace {
class QtMessageBoxPresenter : public MessageBoxPresenter {
 public:
  int Present(const MessageBoxRequest& request) override {
    // Texts end their lines the platform-neutral way here; a stray carriage
    // return would show as a glyph.
    QString text = QString::fromStdString(request.text);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(request.caption), text,
                    QMessageBox::Ok, static_cast<QWidget*>(request.ownerWindow));
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return IDOK;
  }
};
}  // namespace

MessageBoxPresenter& PlatformMessageBoxPresenter() {
  static QtMessageBoxPresenter presenter;
  return presenter;
}

}  // namespace fw
