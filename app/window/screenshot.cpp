// Renders the main window into PNG files for the documentation, without a
// display (run it with QT_QPA_PLATFORM=offscreen):
//
//   tarvo2kova_screenshot OUTPUT_DIR
//
// writes OUTPUT_DIR/window.png (the window as it opens, with both boxes
// filled) and OUTPUT_DIR/window-converted.png (the window after
// "Make Kova image", with the closing message over it) and
// OUTPUT_DIR/window-preview.png (the window once the message is closed, with
// the preview of the new image below the controls). The conversion uses
// a small generated grid in a temporary folder and the template beside this
// program.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "app/platform/process.h"
#include "app/window/qt_ui.h"
#include "app/window/unit1.h"
#include "host/ui.h"

namespace {

constexpr int kBorder = 4;
constexpr int kCaption = 19;

// The client image inside a plain window frame with the caption.
QImage Framed(const QImage& client, const QString& caption) {
  QImage framed(client.width() + 2 * kBorder, client.height() + kCaption + 2 * kBorder,
                QImage::Format_ARGB32);
  framed.fill(QColor(192, 192, 192));
  QPainter painter(&framed);
  painter.setPen(QColor(64, 64, 64));
  painter.drawRect(framed.rect().adjusted(0, 0, -1, -1));
  const QRect bar(kBorder, kBorder, framed.width() - 2 * kBorder, kCaption - 1);
  painter.fillRect(bar, QColor(0, 0, 128));
  QFont font = painter.font();
  font.setPixelSize(11);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(bar.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, caption);
  painter.drawImage(kBorder, kBorder + kCaption, client);
  return framed;
}

// Shows each message box just long enough to photograph it over the window.
class PhotographingUi : public kova::Ui {
 public:
  PhotographingUi(QWidget& window, QString path) : window_(window), path_(std::move(path)) {}

  void ShowMessage(kova::MessageKind kind, const std::string& caption,
                   const std::string& text) override {
    QMessageBox box(
        kind == kova::MessageKind::Error ? QMessageBox::Critical : QMessageBox::Information,
        QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok, &window_);
    box.show();
    QApplication::processEvents();
    QImage shot = Framed(window_.grab().toImage(), window_.windowTitle());
    const QImage message = Framed(box.grab().toImage(), box.windowTitle());
    QImage canvas(std::max(shot.width(), message.width()) + 40,
                  shot.height() + message.height() / 2 + 40, QImage::Format_ARGB32);
    canvas.fill(QColor(0, 128, 128));
    QPainter painter(&canvas);
    painter.drawImage(20, 20, shot);
    painter.drawImage((canvas.width() - message.width()) / 2, 20 + shot.height() / 2, message);
    painter.end();
    saved_ = canvas.save(path_);
    box.close();
  }
  void SetCursor(kova::CursorKind) override {}

  bool saved() const { return saved_; }

 private:
  QWidget& window_;
  QString path_;
  bool saved_ = false;
};

// Nothing modal: an error of the run is printed instead of shown.
class QuietServices : public kova::WindowServices {
 public:
  std::optional<QString> ExecuteOpenDialog(QFileDialog&) override { return std::nullopt; }
  bool OpenUrl(const QUrl&) override { return false; }
  void ShowErrorBox(QWidget*, const QString& caption, const QString& text) override {
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
  }
};

bool WriteSampleGrid(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  QByteArray text = "columns 40\nrows 20\nleft 20.0\nbottom 55.0\ncell 0.25\nnodata -9999\n";
  for (int row = 0; row < 20; ++row) {
    for (int col = 0; col < 40; ++col) {
      text +=
          (row + col) % 17 == 0 ? QByteArray("-9999") : QByteArray::number(row * 1.5 + col * 0.25);
      text += col + 1 < 40 ? ' ' : '\n';
    }
  }
  return file.write(text) == text.size();
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tarvo2kova_screenshot OUTPUT_DIR\n");
    return 2;
  }
  const QDir output(QString::fromLocal8Bit(argv[1]));
  QTemporaryDir work;
  const QString grid = work.filePath(QStringLiteral("precipitation_2023.asc"));
  if (!work.isValid() || !WriteSampleGrid(grid)) {
    std::fprintf(stderr, "cannot write the sample grid\n");
    return 1;
  }

  kova::FormPaths paths;
  paths.settings_path = work.filePath(QStringLiteral("tarvo2kova.ini")).toStdString();
  paths.template_path = kova::ProgramDirectory() + "template.img";
  paths.list_directory = work.path().toStdString();
  QuietServices services;
  TForm1 window(paths, &services);
  window.Edit1->setText(grid);
  window.Edit2->setText(work.filePath(QStringLiteral("precipitation_2023.img")));
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  QApplication::processEvents();

  const QString first = output.filePath(QStringLiteral("window.png"));
  if (!Framed(window.grab().toImage(), window.windowTitle()).save(first)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(first));
    return 1;
  }

  PhotographingUi ui(window, output.filePath(QStringLiteral("window-converted.png")));
  kova::ScopedUi installed(ui);
  QTest::mouseClick(window.Button1, Qt::LeftButton);
  if (!ui.saved()) {
    std::fprintf(stderr, "the conversion showed no message\n");
    return 1;
  }
  QApplication::processEvents();
  const QString preview = output.filePath(QStringLiteral("window-preview.png"));
  if (window.ImagePreview->isHidden() ||
      !Framed(window.grab().toImage(), window.windowTitle()).save(preview)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(preview));
    return 1;
  }
  return 0;
}
