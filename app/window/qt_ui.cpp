#include "app/window/qt_ui.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>

#include "app/platform/paths.h"

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

std::string ApplicationTitle(const std::string& program_path) {
  std::string title = FileNameOf(program_path);
  title = title.substr(0, title.find('.'));
  for (std::size_t i = 0; i < title.size(); ++i) {
    // The first character stays as it is; the rest goes to lower case
    // (ASCII letters only: other bytes may belong to multi-byte characters).
    char& c = title[i];
    if (i > 0 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return title;
}

void ShowApplicationErrorBox(QWidget* owner, const QString& caption, const QString& text) {
  ShowBox(owner, QMessageBox::Critical, caption, text);
}

}  // namespace kova
