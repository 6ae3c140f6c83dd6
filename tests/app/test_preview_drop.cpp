// The main window after a run: the preview panel with the last image, its
// size and value range; files and folders dropped on the window or its
// boxes; Enter in either box starting the run.
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "app/platform/process.h"
#include "app/window/unit1.h"
#include "support/recording_ui.h"
#include "support/window_fixture.h"

namespace {

using kova::testing::FakeServices;
using kova::testing::WriteFile;

const char* const kGrid = kova::testing::kWindowGrid;

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
  kova::FormPaths Paths() const { return folder_.Paths(); }
  QString Dir() const { return folder_.Dir(); }

  kova::testing::TestFolder folder_;
};

void TestPreviewDrop::init() {
  QVERIFY(folder_.Make());
  QVERIFY(WriteFile(Dir() + "/g.asc", kGrid));
}

void TestPreviewDrop::cleanup() {
  folder_.Remove();
}

void TestPreviewDrop::previewAfterRun() {
  kova::testing::RecordingUi ui;
  FakeServices services;
  TForm1 form(Paths(), &services);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QVERIFY(form.ImagePreview->isHidden());
  const int closed_height = form.height();

  form.Edit1->setText(Dir() + "/g.asc");
  form.Edit2->setText(Dir() + "/g.img");
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  QVERIFY2(services.error_texts.isEmpty(), qPrintable(services.error_texts.join('\n')));
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
  FakeServices services;
  TForm1 form(Paths(), &services);
  form.Edit1->setText(Dir() + "/missing.asc");
  form.Edit2->setText(Dir() + "/missing.img");
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  QCOMPARE(services.error_texts.size(), 1);
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
  FakeServices services;
  TForm1 form(Paths(), &services);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  form.Edit1->setText(Dir() + "/g.asc");
  form.Edit2->setText(Dir() + "/g.img");
  QLineEdit* box = inOutputBox ? form.Edit2 : form.Edit1;
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Return);
  QVERIFY2(services.error_texts.isEmpty(), qPrintable(services.error_texts.join('\n')));
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
  FakeServices services;
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
