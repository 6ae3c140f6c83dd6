// The main window after a run: the preview panel with the last image, its
// size and value range; files and folders dropped on the window or its
// boxes; Enter in either box starting the run.
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/platform/process.h"
#include "app/window/unit1.h"
#include "support/recording_ui.h"

namespace {

class QuietServices : public kova::WindowServices {
 public:
  std::optional<QString> ExecuteOpenDialog(QFileDialog&) override { return std::nullopt; }
  bool OpenUrl(const QUrl&) override { return false; }
  void ShowErrorBox(QWidget*, const QString&, const QString& text) override { errors << text; }
  QStringList errors;
};

// 4 x 3 cells, one missing; values 0.5 to 10.
const char kGrid[] =
    "columns 4\nrows 3\nleft 10.5\nbottom 50.25\ncell 0.5\nnodata -9999\n"
    "1.5 2.5 -9999 4.0\n0.5 3.25 7.75 1e1\n6 5.5 .5 9.125\n";

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Drops `paths` (as file addresses) onto `target`.
void Drop(QWidget* target, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  // As a drag does it: the widget is entered, then dropped on.
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
}

}  // namespace

class TestPreviewDrop : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void previewAfterRun();
  void noPreviewWhenTheRunFails();
  void enterStartsTheRun_data();
  void enterStartsTheRun();
  void drop_data();
  void drop();

 private:
  kova::FormPaths Paths() const {
    return {(Dir() + "/tarvo2kova.ini").toStdString(), kova::ProgramDirectory() + "template.img",
            Dir().toStdString()};
  }
  QString Dir() const { return QDir(temp_->path()).canonicalPath(); }

  std::unique_ptr<QTemporaryDir> temp_;
  QString start_directory_;
};

void TestPreviewDrop::init() {
  start_directory_ = QDir::currentPath();
  temp_ = std::make_unique<QTemporaryDir>();
  QVERIFY(temp_->isValid());
  QVERIFY(WriteFile(Dir() + "/g.asc", kGrid));
}

void TestPreviewDrop::cleanup() {
  QDir::setCurrent(start_directory_);
  temp_.reset();
}

void TestPreviewDrop::previewAfterRun() {
  kova::testing::RecordingUi ui;
  QuietServices services;
  TForm1 form(Paths(), &services);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QVERIFY(form.ImagePreview->isHidden());
  const int closed_height = form.height();

  form.Edit1->setText(Dir() + "/g.asc");
  form.Edit2->setText(Dir() + "/g.img");
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  QVERIFY2(services.errors.isEmpty(), qPrintable(services.errors.join('\n')));
  QCOMPARE(ui.messages.size(), std::size_t{1});

  QVERIFY(form.ImagePreview->isVisible());
  QVERIFY(form.PreviewInfo->isVisible());
  QCOMPARE(form.PreviewInfo->text(), QStringLiteral("g.img: 4 x 3 pixels, values 0.5 to 10.0"));
  // 4 x 3 pixels at the largest enlargement, four times.
  const QImage shown = form.ImagePreview->pixmap().toImage();
  QCOMPARE(shown.size(), QSize(16, 12));
  QCOMPARE(qAlpha(shown.pixel(2 * 4 + 1, 1)), 0);    // the missing cell
  QCOMPARE(qAlpha(shown.pixel(0 * 4 + 1, 5)), 255);  // 0.5, the lowest value
  QCOMPARE(shown.pixel(1, 5), qRgb(68, 1, 84));
  QCOMPARE(shown.pixel(3 * 4 + 1, 5), qRgb(253, 231, 37));  // 10, the highest
  // The panel opens below the controls, which keep their places.
  QVERIFY(form.height() > closed_height);
  QVERIFY(form.ImagePreview->y() > form.Label6->geometry().bottom());
  QCOMPARE(form.Button1->geometry(), QRect(16, 120, 153, 25));
}

void TestPreviewDrop::noPreviewWhenTheRunFails() {
  kova::testing::RecordingUi ui;
  QuietServices services;
  TForm1 form(Paths(), &services);
  form.Edit1->setText(Dir() + "/missing.asc");
  form.Edit2->setText(Dir() + "/missing.img");
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  QCOMPARE(services.errors.size(), 1);
  QVERIFY(form.ImagePreview->isHidden());
}

void TestPreviewDrop::enterStartsTheRun_data() {
  QTest::addColumn<bool>("inOutputBox");
  QTest::newRow("input box") << false;
  QTest::newRow("output box") << true;
}

void TestPreviewDrop::enterStartsTheRun() {
  QFETCH(bool, inOutputBox);
  kova::testing::RecordingUi ui;
  QuietServices services;
  TForm1 form(Paths(), &services);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  form.Edit1->setText(Dir() + "/g.asc");
  form.Edit2->setText(Dir() + "/g.img");
  QLineEdit* box = inOutputBox ? form.Edit2 : form.Edit1;
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Return);
  QVERIFY2(services.errors.isEmpty(), qPrintable(services.errors.join('\n')));
  QVERIFY(QFileInfo::exists(Dir() + "/g.img"));
  QCOMPARE(ui.messages.size(), std::size_t{1});
  QVERIFY(form.ImagePreview->isVisible());
}

void TestPreviewDrop::drop_data() {
  QTest::addColumn<QString>("target");  // Edit1, Edit2 or Form1
  QTest::addColumn<QStringList>("names");
  QTest::addColumn<QString>("input");
  QTest::addColumn<QString>("output");
  QTest::newRow("one grid on the input box") << "Edit1" << QStringList{"g.asc"} << "g.asc"
                                             << "";
  QTest::newRow("one grid on the window") << "Form1" << QStringList{"g.asc"} << "g.asc"
                                          << "";
  QTest::newRow("a folder") << "Form1" << QStringList{"series"} << "series/*.asc"
                            << "";
  QTest::newRow("several grids") << "Edit1" << QStringList{"series/a.asc", "series/b.asc"}
                                 << "series/*.asc"
                                 << "";
  QTest::newRow("grids and NetCDF files")
      << "Edit1" << QStringList{"series/a.asc", "nc/r.NC", "series/b.asc"} << "series/*.asc;*.NC"
      << "";
  QTest::newRow("a folder of GeoTIFF and NetCDF files")
      << "Form1" << QStringList{"nc"} << "nc/*.tif;*.nc"
      << "";
  QTest::newRow("a name on the output box") << "Edit2" << QStringList{"out.img"} << ""
                                            << "out.img";
  QTest::newRow("a folder on the output box") << "Edit2" << QStringList{"series"} << ""
                                              << "";
}

void TestPreviewDrop::drop() {
  QFETCH(QString, target);
  QFETCH(QStringList, names);
  QFETCH(QString, input);
  QFETCH(QString, output);
  QVERIFY(QDir(Dir()).mkpath("series"));
  QVERIFY(WriteFile(Dir() + "/series/a.asc", kGrid));
  QVERIFY(WriteFile(Dir() + "/series/b.asc", kGrid));
  QVERIFY(QDir(Dir()).mkpath("nc"));
  for (const char* name : {"r.NC", "s.nc", "t.tif", "notes.txt"}) {
    QVERIFY(WriteFile(Dir() + "/nc/" + name, kGrid));
  }
  QuietServices services;
  TForm1 form(Paths(), &services);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  form.Edit1->clear();
  form.Edit2->clear();
  QStringList paths;
  for (const QString& name : names) paths << Dir() + "/" + name;
  QWidget* widget = target == "Edit1"   ? static_cast<QWidget*>(form.Edit1)
                    : target == "Edit2" ? static_cast<QWidget*>(form.Edit2)
                                        : static_cast<QWidget*>(&form);
  Drop(widget, paths);
  QCOMPARE(form.Edit1->text(), input.isEmpty() ? QString() : Dir() + "/" + input);
  QCOMPARE(form.Edit2->text(), output.isEmpty() ? QString() : Dir() + "/" + output);
}

QTEST_MAIN(TestPreviewDrop)
#include "test_preview_drop.moc"
