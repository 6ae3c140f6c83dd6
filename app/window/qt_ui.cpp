#include "app/window/qt_ui.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>

namespace kova {
namespace {

void ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& caption, const QString& text) {
  QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

}  // namespace

void QtUi::ShowMessage(MessageKind kind, const std::string& caption, const std::string& text) {
  const QMessageBox::Icon icon =
      kind == MessageKind::Error ? QMessageBox::Critical : QMessageBox::Information;
  ShowBox(QApplication::activeWindow(), icon, QString::fromStdString(caption),
          QString::fromStdString(text));
}

void QtUi::SetCursor(CursorKind cursor) {
  SetApplicationCursor(cursor);
}

void SetApplicationCursor(CursorKind cursor) {
  if (cursor == CursorKind::Default) {
    while (QGuiApplication::overrideCursor() != nullptr) QGuiApplication::restoreOverrideCursor();
    return;
  }
  const QCursor shape(cursor == CursorKind::Busy ? Qt::WaitCursor : Qt::PointingHandCursor);
  if (QGuiApplication::overrideCursor() != nullptr) {
    QGuiApplication::changeOverrideCursor(shape);
  } else {
    QGuiApplication::setOverrideCursor(shape);
  }
}

void ShowApplicationErrorBox(QWidget* owner, const QString& caption, const QString& text) {
  ShowBox(owner, QMessageBox::Critical, caption, text);
}

}  // namespace kova
