// The main window: its controls, the settings it starts from, the browse
// buttons, the link, and conversions started with "Make Kova image".
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QUrl>
#include <clocale>
#include <cstdlib>

#include "app/conversion.h"
#include "app/pipeline/converter.h"
#include "app/platform/process.h"
#include "app/window/qt_ui.h"
#include "app/window/unit1.h"
#include "support/recording_ui.h"
#include "support/window_fixture.h"

namespace {

using kova::testing::FakeServices;
using kova::testing::ReadFile;
using kova::testing::WriteFile;

const char* const kGrid = kova::testing::kWindowGrid;
constexpr qint64 kGridImageSize = 512 + 4 * 3;

QString TemplatePath() {
  return QString::fromStdString(kova::ProgramDirectory() + "template.img");
}

// The conversions need the template that the build writes beside the programs.
#define REQUIRE_TEMPLATE() \
  QVERIFY2(QFileInfo::exists(TemplatePath()), qPrintable("no template at " + TemplatePath()))

}  // namespace

class TestUnit1 : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void controls_data();
  void controls();
  void window();
  void tabOrder_data();
  void tabOrder();
  void formCreate_data();
  void formCreate();
  void convertSingleGrid();
  void convertPattern_data();
  void convertPattern();
  void commaLocaleGivesSameImage();
  void errorInRun_data();
  void errorInRun();
  void windowGoesOnAfterError();
  void browse_data();
  void browse();
  void dialogOpensOnLastName();
  void linkCursor();
  void linkClick_data();
  void linkClick();

 private:
  kova::FormPaths Paths() const { return folder_.Paths(); }
  QString Dir() const { return folder_.Dir(); }

  kova::testing::TestFolder folder_;
};

void TestUnit1::init() {
  QVERIFY(folder_.Make());
}

void TestUnit1::cleanup() {
  folder_.Remove();
  kova::SetApplicationCursor(kova::CursorKind::Default);
}

void TestUnit1::controls_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QRect>("geometry");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("family");
  QTest::addColumn<int>("pixelSize");
  const QString verdana = "Verdana";
  QTest::newRow("Label4") << "Label4" << QRect(16, 8, 170, 13)
                          << "Step 1: Get ASCII data from:" << verdana << 11;
  QTest::newRow("Label5") << "Label5" << QRect(200, 6, 228, 16) << KOVA_DOWNLOAD_URL
                          << "MS Sans Serif" << 13;
  QTest::newRow("Label1") << "Label1" << QRect(16, 32, 145, 13) << "Step 2 : Make Kova image"
                          << verdana << 11;
  QTest::newRow("Label2") << "Label2" << QRect(32, 56, 95, 13) << "Input file (*.asc)" << verdana
                          << 11;
  QTest::newRow("Edit1") << "Edit1" << QRect(152, 52, 417, 21) << "" << verdana << 11;
  QTest::newRow("Button2") << "Button2" << QRect(584, 50, 25, 25) << ".." << verdana << 11;
  QTest::newRow("Label3") << "Label3" << QRect(32, 88, 105, 13) << "Output file (*.img)" << verdana
                          << 11;
  QTest::newRow("Edit2") << "Edit2" << QRect(152, 84, 417, 21) << "" << verdana << 11;
  QTest::newRow("Button3") << "Button3" << QRect(584, 82, 25, 25) << ".." << verdana << 11;
  QTest::newRow("Button1") << "Button1" << QRect(16, 120, 153, 25) << "Make Kova image" << verdana
                           << 11;
  QTest::newRow("Label6") << "Label6" << QRect(8, 160, 267, 13)
                          << "Wildcards * and ? are allowed in input file box." << verdana << 11;
  QTest::newRow("Label14") << "Label14" << QRect(442, 160, 168, 13) << "Info : " KOVA_CONTACT_EMAIL
                           << verdana << 11;
  QTest::newRow("FileListBox1") << "FileListBox1" << QRect(232, 48, 121, 65) << ""
                                << "" << 0;
}

void TestUnit1::controls() {
  QFETCH(QString, name);
  QFETCH(QRect, geometry);
  QFETCH(QString, text);
  QFETCH(QString, family);
  QFETCH(int, pixelSize);
  FakeServices services;
  TForm1 form(Paths(), &services);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));

  auto* control = form.findChild<QWidget*>(name);
  QVERIFY2(control != nullptr, qPrintable(name));
  const QHash<QString, QWidget*> members{{"Label4", form.Label4},
                                         {"Label5", form.Label5},
                                         {"Label1", form.Label1},
                                         {"Label2", form.Label2},
                                         {"Edit1", form.Edit1},
                                         {"Button2", form.Button2},
                                         {"Label3", form.Label3},
                                         {"Edit2", form.Edit2},
                                         {"Button3", form.Button3},
                                         {"Button1", form.Button1},
                                         {"Label6", form.Label6},
                                         {"Label14", form.Label14},
                                         {"FileListBox1", form.FileListBox1}};
  QCOMPARE(members.value(name), control);
  // The labels whose text the build sets grow to the right when it is longer.
  if (name == "Label5" || name == "Label14") {
    geometry.setWidth(qMax(geometry.width(), control->fontMetrics().horizontalAdvance(text)));
  }
  QCOMPARE(control->geometry(), geometry);

  QString shown;
  if (auto* label = qobject_cast<QLabel*>(control)) shown = label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(control)) shown = edit->text();
  if (auto* button = qobject_cast<QPushButton*>(control)) shown = button->text();
  QCOMPARE(shown, text);
  if (!family.isEmpty()) {
    QCOMPARE(control->font().family(), family);
    QCOMPARE(control->font().pixelSize(), pixelSize);
  }
  QCOMPARE(control->isVisible(), name != "FileListBox1");

  // The controls keep their places when the window is resized.
  form.resize(900, 500);
  QApplication::processEvents();
  QCOMPARE(control->geometry(), geometry);
  form.resize(300, 100);
  QApplication::processEvents();
  QCOMPARE(control->geometry(), geometry);
}

void TestUnit1::window() {
  FakeServices services;
  TForm1 form(Paths(), &services);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QApplication::processEvents();
  QCOMPARE(form.objectName(), QString("Form1"));
  QCOMPARE(form.windowTitle(), QString("Tarvo ASCII Grid To Kova image conversion"));
  QCOMPARE(form.frameGeometry().size(), QSize(630, 207));
  const QRect screen = form.screen()->geometry();
  QVERIFY(qAbs(form.frameGeometry().center().x() - screen.center().x()) <= 1);
  QVERIFY(qAbs(form.frameGeometry().center().y() - screen.center().y()) <= 1);
  QCOMPARE(form.font().family(), QString("MS Sans Serif"));
  QCOMPARE(form.font().pixelSize(), 11);
  QCOMPARE(form.Label5->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  QVERIFY(form.Label5->font().underline());
  QCOMPARE(form.OpenDialog1->objectName(), QString("OpenDialog1"));
  QCOMPARE(form.OpenDialog1->fileMode(), QFileDialog::AnyFile);
  QCOMPARE(form.OpenDialog1->acceptMode(), QFileDialog::AcceptOpen);
  QCOMPARE(form.KovaImg1.Status(), std::uint8_t{0});
  QCOMPARE(QString::fromStdString(form.Converter().ListDirectory()), Dir());
}

void TestUnit1::tabOrder_data() {
  QTest::addColumn<QString>("from");
  QTest::addColumn<QString>("to");
  QTest::newRow("Button1 to Edit1") << "Button1"
                                    << "Edit1";
  QTest::newRow("Edit1 to Button2") << "Edit1"
                                    << "Button2";
  QTest::newRow("Button2 to Edit2") << "Button2"
                                    << "Edit2";
  QTest::newRow("Edit2 to Button3") << "Edit2"
                                    << "Button3";
  QTest::newRow("Button3 round to Button1") << "Button3"
                                            << "Button1";
}

void TestUnit1::tabOrder() {
  QFETCH(QString, from);
  QFETCH(QString, to);
  FakeServices services;
  TForm1 form(Paths(), &services);
  form.show();
  QApplication::setActiveWindow(&form);
  QVERIFY(QTest::qWaitForWindowActive(&form));
  QCOMPARE(QApplication::focusWidget(), form.Button1);  // focused at start

  form.findChild<QWidget*>(from)->setFocus(Qt::TabFocusReason);
  QCOMPARE(QApplication::focusWidget()->objectName(), from);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget()->objectName(), to);
}

void TestUnit1::formCreate_data() {
  QTest::addColumn<QByteArray>("ini");  // empty: no settings file
  QTest::addColumn<QString>("edit1");
  QTest::addColumn<QString>("edit2");
  const QString long_value(3000, 'x');
  QTest::newRow("no settings file") << QByteArray() << ""
                                    << "";
  QTest::newRow("both keys") << QByteArray("[files]\nedit1=/data/grid.asc\nedit2=/data/out.img\n")
                             << "/data/grid.asc"
                             << "/data/out.img";
  QTest::newRow("pattern and windows line ends")
      << QByteArray("[files]\r\nedit1=/data/*.asc\r\nedit2=out.img\r\n") << "/data/*.asc"
      << "out.img";
  QTest::newRow("value over 2047 characters cut")
      << ("[files]\nedit1=" + long_value.toLatin1() + "\nedit2=b\n") << long_value.left(2047)
      << "b";
  QTest::newRow("other section only") << QByteArray("[other]\nedit1=a\nedit2=b\n") << ""
                                      << "";
  QTest::newRow("one key missing") << QByteArray("[files]\nedit2=b.img\n") << ""
                                   << "b.img";
}

void TestUnit1::formCreate() {
  QFETCH(QByteArray, ini);
  QFETCH(QString, edit1);
  QFETCH(QString, edit2);
  const kova::FormPaths paths = Paths();
  const QString ini_path = QString::fromStdString(paths.settings_path);
  if (!ini.isEmpty()) QVERIFY(WriteFile(ini_path, ini));
  FakeServices services;
  TForm1 form(paths, &services);
  QCOMPARE(form.Edit1->text(), edit1);
  QCOMPARE(form.Edit2->text(), edit2);
  QVERIFY(services.error_texts.isEmpty());
  // Reading creates no settings file.
  QCOMPARE(QFileInfo::exists(ini_path), !ini.isEmpty());
}

void TestUnit1::convertSingleGrid() {
  REQUIRE_TEMPLATE();
  const QString grid = Dir() + "/grid.asc";
  const QString image = Dir() + "/result.img";
  QVERIFY(WriteFile(grid, kGrid));
  kova::testing::RecordingUi ui;
  FakeServices services;
  TForm1 form(Paths(), &services);
  form.Edit1->setText(grid);
  form.Edit2->setText(image);
  QTest::mouseClick(form.Button1, Qt::LeftButton);

  QCOMPARE(services.error_texts, QStringList());
  QCOMPARE(ui.messages.size(), std::size_t{1});
  QCOMPARE(ui.messages[0].kind, kova::MessageKind::Information);
  QCOMPARE(QString::fromStdString(ui.messages[0].caption), QString("Information"));
  QCOMPARE(QString::fromStdString(ui.messages[0].text), "Image " + image + " created successfully");
  QVERIFY(!ui.cursors.empty());
  QCOMPARE(ui.cursors.front(), kova::CursorKind::Busy);
  QCOMPARE(ui.cursors.back(), kova::CursorKind::Default);

  const QByteArray bytes = ReadFile(image);
  QCOMPARE(bytes.size(), kGridImageSize);
  const auto code = [&bytes](int row, int col) { return quint8(bytes[512 + row * 4 + col]); };
  QCOMPARE(code(0, 2), quint8(254));                      // missing cell
  QCOMPARE(code(1, 0), quint8(0));                        // 0.5, the smallest value
  QCOMPARE(code(1, 3), quint8(253));                      // 10, the largest
  QCOMPARE(code(2, 2), quint8(0));                        // .5
  QCOMPARE(code(2, 0), quint8(qRound(253 * 5.5 / 9.5)));  // 6

  // The run saved both boxes.
  const QByteArray ini = ReadFile(QString::fromStdString(Paths().settings_path));
  QVERIFY2(ini.contains("[files]"), ini.constData());
  QVERIFY2(ini.contains(("edit1=" + grid).toUtf8()), ini.constData());
  QVERIFY2(ini.contains(("edit2=" + image).toUtf8()), ini.constData());
}

void TestUnit1::convertPattern_data() {
  QTest::addColumn<QStringList>("files");
  QTest::addColumn<QString>("pattern");  // relative to the temporary folder
  QTest::addColumn<QString>("message");  // %1: the temporary folder
  QTest::addColumn<QStringList>("images");
  QTest::newRow("two files") << QStringList{"b.asc", "a.asc", "c.txt"} << "sub/*.asc"
                             << "Number of images created: 2" << QStringList{"a.img", "b.img"};
  QTest::newRow("one file") << QStringList{"a.asc", "c.txt"} << "sub/*.asc"
                            << "Image %1/sub/a.img created successfully" << QStringList{"a.img"};
  QTest::newRow("no match") << QStringList{"c.txt"} << "sub/*.asc"
                            << "Number of images created: 0" << QStringList{};
  QTest::newRow("question mark") << QStringList{"a1.asc", "a2.asc", "a10.asc"} << "sub/a?.asc"
                                 << "Number of images created: 2"
                                 << QStringList{"a1.img", "a2.img"};
}

void TestUnit1::convertPattern() {
  REQUIRE_TEMPLATE();
  QFETCH(QStringList, files);
  QFETCH(QString, pattern);
  QFETCH(QString, message);
  QFETCH(QStringList, images);
  QVERIFY(QDir(Dir()).mkdir("sub"));
  for (const QString& file : files) QVERIFY(WriteFile(Dir() + "/sub/" + file, kGrid));
  kova::testing::RecordingUi ui;
  FakeServices services;
  TForm1 form(Paths(), &services);
  form.Edit1->setText(Dir() + "/" + pattern);
  form.Edit2->setText(Dir() + "/ignored.img");
  QTest::mouseClick(form.Button1, Qt::LeftButton);

  QCOMPARE(services.error_texts, QStringList());
  QCOMPARE(ui.messages.size(), std::size_t{1});
  QCOMPARE(QString::fromStdString(ui.messages[0].text), message.replace("%1", Dir()));
  QStringList written = QDir(Dir() + "/sub").entryList({"*.img"}, QDir::Files, QDir::Name);
  QCOMPARE(written, images);
  for (const QString& image : images) {
    QCOMPARE(QFileInfo(Dir() + "/sub/" + image).size(), kGridImageSize);
  }
  QVERIFY(!QFileInfo::exists(Dir() + "/ignored.img"));
  QCOMPARE(QString::fromStdString(form.Converter().ListDirectory()), Dir() + "/sub");
}

void TestUnit1::commaLocaleGivesSameImage() {
  REQUIRE_TEMPLATE();
  const QString grid = Dir() + "/grid.asc";
  QVERIFY(WriteFile(grid, kGrid));

  // Outside the window, in the C locale.
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  QVERIFY(std::setlocale(LC_ALL, "C"));
  {
    kova::testing::RecordingUi ui;
    kova::TKovaImg image;
    kova::Converter converter(image, {TemplatePath().toStdString(), std::nullopt},
                              Dir().toStdString());
    converter.Run(grid.toStdString(), (Dir() + "/outside.img").toStdString());
  }

  // In the window, under a locale whose decimal separator is a comma.
  const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
  QVERIFY2(german != nullptr,
           "the locale de_DE.UTF-8 is not available; generate it with locale-gen");
  QCOMPARE(std::localeconv()->decimal_point, ",");
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  {
    kova::testing::RecordingUi ui;
    FakeServices services;
    TForm1 form(Paths(), &services);
    form.Edit1->setText(grid);
    form.Edit2->setText(Dir() + "/inside.img");
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QCOMPARE(services.error_texts, QStringList());
  }
  QCOMPARE(std::localeconv()->decimal_point, ",");  // nothing switched it back
  std::setlocale(LC_ALL, previous.c_str());
  QLocale::setDefault(QLocale::c());

  const QByteArray outside = ReadFile(Dir() + "/outside.img");
  QCOMPARE(outside.size(), kGridImageSize);
  QCOMPARE(ReadFile(Dir() + "/inside.img"), outside);
}

void TestUnit1::errorInRun_data() {
  QTest::addColumn<QByteArray>("grid");  // empty: no input file
  QTest::addColumn<bool>("templateMissing");
  QTest::addColumn<bool>("settingsUnwritable");
  // The box: the message with its "." rule, then where it happened on a
  // second line. %1: the settings file, %2: the grid file, %3: the template.
  QTest::addColumn<QString>("text");
  QTest::newRow("input missing") << QByteArray() << false << false << "File not found.\n%2";
  QTest::newRow("header not a number")
      << QByteArray("columns x4\nrows 3\n") << false << false
      << "'x4' is not a valid integer value.\n%2, line 1, column 9; "
         "expected the number of columns as the value of header "
         "line 1; 'x4' looks like a keyword: is a header line "
         "missing?";
  QTest::newRow("control byte escaped")
      << QByteArray("columns 1x\x7f\xff\nrows 3\n") << false << false
      << "'1x\\x7f\\xff' is not a valid integer value.\n%2, line 1, column 9; expected the "
         "number of columns as the value of header line 1";
  QTest::newRow("value with comma")
      << QByteArray(
             "columns 2\nrows 1\nleft 0\nbottom 0\ncell 1\nnodata -9\n"
             "1,5 2\n")
      << false << false << "'1,5' is not a valid floating point value.\n%2, line 7, column 1";
  QTest::newRow("template missing")
      << QByteArray(kGrid) << true << false << "File not found.\ntemplate %3 (converting %2)";
  QTest::newRow("settings unwritable")
      << QByteArray(kGrid) << false << true << "Unable to write to %1.";
}

void TestUnit1::errorInRun() {
  REQUIRE_TEMPLATE();
  QFETCH(QByteArray, grid);
  QFETCH(bool, templateMissing);
  QFETCH(bool, settingsUnwritable);
  QFETCH(QString, text);
  const QString input = Dir() + "/grid.asc";
  if (!grid.isEmpty()) QVERIFY(WriteFile(input, grid));
  kova::FormPaths paths = Paths();
  if (templateMissing) paths.template_path = (Dir() + "/template.img").toStdString();
  if (settingsUnwritable) paths.settings_path = (Dir() + "/none/tarvo2kova.ini").toStdString();
  kova::testing::RecordingUi ui;
  FakeServices services;
  TForm1 form(paths, &services);
  form.show();
  form.Edit1->setText(input);
  form.Edit2->setText(Dir() + "/out.img");
  QTest::mouseClick(form.Button1, Qt::LeftButton);

  text.replace("%1", QString::fromStdString(paths.settings_path))
      .replace("%2", input)
      .replace("%3", QString::fromStdString(paths.template_path));
  QCOMPARE(services.error_texts, QStringList{text});
  QCOMPARE(services.error_captions, QStringList{"unit1_tests"});
  QCOMPARE(services.error_captions.first(), form.ApplicationTitle());
  for (const auto& message : ui.messages) QVERIFY(message.kind != kova::MessageKind::Information);
  QVERIFY(!ui.cursors.empty());
  QCOMPARE(ui.cursors.back(), kova::CursorKind::Default);
  QVERIFY(form.isVisible());
}

void TestUnit1::windowGoesOnAfterError() {
  REQUIRE_TEMPLATE();
  const QString grid = Dir() + "/grid.asc";
  kova::testing::RecordingUi ui;
  FakeServices services;
  TForm1 form(Paths(), &services);
  form.show();
  form.Edit1->setText(grid);  // not written yet
  form.Edit2->setText(Dir() + "/out.img");
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  QCOMPARE(services.error_texts, QStringList{"File not found.\n" + grid});
  QVERIFY(ui.messages.empty());

  QVERIFY(WriteFile(grid, kGrid));
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  QCOMPARE(services.error_texts.size(), 1);
  QCOMPARE(ui.messages.size(), std::size_t{1});
  QCOMPARE(QString::fromStdString(ui.messages[0].text),
           "Image " + Dir() + "/out.img created successfully");
}

void TestUnit1::browse_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<QString>("chosen");  // relative to the temporary folder; empty: cancelled
  QTest::addColumn<QString>("edit1");   // %1: the temporary folder
  QTest::addColumn<QString>("edit2");
  QTest::newRow("Button2 fills the input box") << "Button2"
                                               << "in/grid.asc"
                                               << "%1/in/grid.asc"
                                               << "old2";
  QTest::newRow("Button3 fills only the output box") << "Button3"
                                                     << "out/new.img"
                                                     << "old1"
                                                     << "%1/out/new.img";
  QTest::newRow("Button2 cancelled") << "Button2"
                                     << ""
                                     << "old1"
                                     << "old2";
  QTest::newRow("Button3 cancelled") << "Button3"
                                     << ""
                                     << "old1"
                                     << "old2";
}

void TestUnit1::browse() {
  QFETCH(QString, button);
  QFETCH(QString, chosen);
  QFETCH(QString, edit1);
  QFETCH(QString, edit2);
  QVERIFY(QDir(Dir()).mkdir("in"));
  QVERIFY(QDir(Dir()).mkdir("out"));
  QVERIFY(WriteFile(Dir() + "/in/grid.asc", kGrid));
  FakeServices services;
  if (chosen.isEmpty()) {
    services.answers.push_back(std::nullopt);
  } else {
    services.answers.push_back(Dir() + "/" + chosen);
  }
  TForm1 form(Paths(), &services);
  form.Edit1->setText("old1");
  form.Edit2->setText("old2");
  QTest::mouseClick(form.findChild<QPushButton*>(button), Qt::LeftButton);

  QCOMPARE(services.offered.size(), 1);
  QCOMPARE(form.Edit1->text(), edit1.replace("%1", Dir()));
  QCOMPARE(form.Edit2->text(), edit2.replace("%1", Dir()));
  // Confirming makes the chosen file's folder the current directory.
  const QString expected_directory =
      chosen.isEmpty() ? folder_.Start() : QFileInfo(Dir() + "/" + chosen).absolutePath();
  QCOMPARE(QString::fromStdString(kova::CurrentDirectory()), expected_directory);
  QVERIFY(services.error_texts.isEmpty());
}

void TestUnit1::dialogOpensOnLastName() {
  QVERIFY(QDir(Dir()).mkdir("in"));
  const QString first = Dir() + "/in/grid.asc";
  QVERIFY(WriteFile(first, kGrid));
  FakeServices services;
  services.answers = {first, std::nullopt, Dir() + "/out.img", std::nullopt};
  TForm1 form(Paths(), &services);
  QTest::mouseClick(form.Button2, Qt::LeftButton);
  QTest::mouseClick(form.Button3, Qt::LeftButton);  // cancelled
  QTest::mouseClick(form.Button3, Qt::LeftButton);
  QTest::mouseClick(form.Button2, Qt::LeftButton);  // cancelled
  QCOMPARE(services.offered.size(), 4);
  QCOMPARE(services.offered[1], first);  // chosen through Button2, offered by Button3
  QCOMPARE(services.offered[2], first);  // a cancel changes nothing
  QCOMPARE(services.offered[3], Dir() + "/out.img");
  QCOMPARE(form.Edit1->text(), first);
  QCOMPARE(form.Edit2->text(), Dir() + "/out.img");
  QCOMPARE(QString::fromStdString(kova::CurrentDirectory()), Dir());
}

void TestUnit1::linkCursor() {
  FakeServices services;
  TForm1 form(Paths(), &services);
  form.show();
  QApplication::setActiveWindow(&form);
  QVERIFY(QTest::qWaitForWindowActive(&form));
  QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

  QTest::mouseMove(form.Label5, QPoint(20, 8));
  QTRY_VERIFY(QGuiApplication::overrideCursor() != nullptr);
  QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
  QTest::mouseMove(form.Label5, QPoint(40, 9));
  QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
  // Leaving the link gives the normal cursor back.
  QTest::mouseMove(form.Edit1, QPoint(30, 10));
  QTRY_COMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void TestUnit1::linkClick_data() {
  QTest::addColumn<bool>("opens");
  QTest::newRow("browser opens") << true;
  QTest::newRow("browser fails silently") << false;
}

void TestUnit1::linkClick() {
  QFETCH(bool, opens);
  kova::testing::RecordingUi ui;
  FakeServices services;
  services.open_result = opens;
  TForm1 form(Paths(), &services);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QTest::mouseClick(form.Label5, Qt::LeftButton, {}, QPoint(20, 8));
  QCOMPARE(services.opened, QList<QUrl>{QUrl(KOVA_DOWNLOAD_URL)});
  QVERIFY(services.error_texts.isEmpty());
  QVERIFY(ui.messages.empty());
}

QTEST_MAIN(TestUnit1)
#include "test_unit1.moc"
