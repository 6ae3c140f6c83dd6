// The window program's platform layer: message boxes, the application
// cursor and the application title of the error box.
#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "app/window/form_logic.h"
#include "app/window/qt_ui.h"
#include "host/ui.h"

Q_DECLARE_METATYPE(QMessageBox::Icon)

namespace {

struct SeenBox {
  bool seen = false;
  QString caption;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
};

// Looks at the modal box once it is up, then presses its OK button.
void InspectNextBox(SeenBox& seen) {
  QTimer::singleShot(0, [&seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    seen.seen = true;
    seen.caption = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    for (QAbstractButton* button : box->buttons()) seen.buttons << button->text().remove('&');
    box->button(QMessageBox::Ok)->click();
  });
}

}  // namespace

class TestQtUi : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { kova::SetApplicationCursor(kova::CursorKind::Default); }
  void applicationTitle_data();
  void applicationTitle();
  void messageBox_data();
  void messageBox();
  void errorBox();
  void cursor_data();
  void cursor();
};

void TestQtUi::applicationTitle_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QString>("title");
  QTest::newRow("installed") << "/usr/bin/tarvo2kova"
                             << "tarvo2kova";
  QTest::newRow("mixed case with extension") << "/opt/t/Tarvo2Kova.exe"
                                             << "Tarvo2kova";
  QTest::newRow("upper case") << "/opt/t/TARVO2KOVA.EXE"
                              << "Tarvo2kova";
  QTest::newRow("cut at first dot") << "/a.b/prog.x.y"
                                    << "prog";
  QTest::newRow("bare name") << "tst_unit1"
                             << "tst_unit1";
  QTest::newRow("digit first") << "/bin/2KOVA"
                               << "2kova";
}

void TestQtUi::applicationTitle() {
  QFETCH(QString, program);
  QFETCH(QString, title);
  QCOMPARE(QString::fromStdString(kova::ApplicationTitle(program.toStdString())), title);
}

void TestQtUi::messageBox_data() {
  QTest::addColumn<int>("kind");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QMessageBox::Icon>("icon");
  QTest::newRow("error") << int(kova::MessageKind::Error) << "Error"
                         << "No valid image attached" << QMessageBox::Critical;
  QTest::newRow("information") << int(kova::MessageKind::Information) << "Information"
                               << "Number of images created: 3" << QMessageBox::Information;
}

void TestQtUi::messageBox() {
  QFETCH(int, kind);
  QFETCH(QString, caption);
  QFETCH(QString, text);
  QFETCH(QMessageBox::Icon, icon);
  kova::QtUi ui;
  kova::ScopedUi installed(ui);
  SeenBox seen;
  InspectNextBox(seen);
  if (kind == int(kova::MessageKind::Error)) {
    kova::ShowErrorMessage(text.toStdString());
  } else {
    kova::ShowInformationMessage(text.toStdString());
  }
  QVERIFY(seen.seen);
  QCOMPARE(seen.caption, caption);
  QCOMPARE(seen.text, text);
  QCOMPARE(seen.icon, icon);
  QCOMPARE(seen.buttons, QStringList{"OK"});
}

void TestQtUi::errorBox() {
  SeenBox seen;
  InspectNextBox(seen);
  kova::ShowApplicationErrorBox(nullptr, "Tarvo2kova", "File not found.");
  QVERIFY(seen.seen);
  QCOMPARE(seen.caption, QString("Tarvo2kova"));
  QCOMPARE(seen.text, QString("File not found."));
  QCOMPARE(seen.icon, QMessageBox::Critical);
  QCOMPARE(seen.buttons, QStringList{"OK"});
}

void TestQtUi::cursor_data() {
  // Cursor kinds applied in turn (B busy, H hand, D default) and the shape
  // the application shows afterwards (-1: no override, the normal cursor).
  QTest::addColumn<QString>("sequence");
  QTest::addColumn<int>("shape");
  QTest::newRow("busy") << "B" << int(Qt::WaitCursor);
  QTest::newRow("hand") << "H" << int(Qt::PointingHandCursor);
  QTest::newRow("busy then default") << "BD" << -1;
  QTest::newRow("hand replaces busy") << "BH" << int(Qt::PointingHandCursor);
  QTest::newRow("one default undoes repeated settings") << "HHBHD" << -1;
  QTest::newRow("default without setting") << "D" << -1;
}

void TestQtUi::cursor() {
  QFETCH(QString, sequence);
  QFETCH(int, shape);
  kova::QtUi ui;
  for (QChar step : sequence) {
    ui.SetCursor(step == 'B'   ? kova::CursorKind::Busy
                 : step == 'H' ? kova::CursorKind::Hand
                               : kova::CursorKind::Default);
  }
  const QCursor* current = QGuiApplication::overrideCursor();
  QCOMPARE(current ? int(current->shape()) : -1, shape);
}

QTEST_MAIN(TestQtUi)
#include "test_qt_ui.moc"
