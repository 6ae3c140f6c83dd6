// Where the settings file lives: beside the program when its folder can be
// written, in the configuration folder otherwise.
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "app/platform/settings_location.h"

class TestSettingsLocation : public QObject {
  Q_OBJECT

 private slots:
  void changeFileExt_data();
  void changeFileExt();
  void choose_data();
  void choose();
  void besideWritableProgram();
  void configFolderCreatedForUnwritableProgram();
};

void TestSettingsLocation::changeFileExt_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("expected");
  QTest::newRow("no extension") << "/usr/bin/tarvo2kova"
                                << "/usr/bin/tarvo2kova.ini";
  QTest::newRow("extension") << "/opt/t/Tarvo2Kova.exe"
                             << "/opt/t/Tarvo2Kova.ini";
  QTest::newRow("last dot only") << "/a/prog.v1.bin"
                                 << "/a/prog.v1.ini";
  QTest::newRow("dot in folder only") << "/a.b/prog"
                                      << "/a.b/prog.ini";
  QTest::newRow("bare name") << "prog"
                             << "prog.ini";
}

void TestSettingsLocation::changeFileExt() {
  QFETCH(QString, path);
  QFETCH(QString, expected);
  QCOMPARE(QString::fromStdString(kova::ChangeFileExt(path.toStdString(), ".ini")), expected);
}

void TestSettingsLocation::choose_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<bool>("writable");
  QTest::addColumn<QString>("xdg");
  QTest::addColumn<QString>("home");
  QTest::addColumn<QString>("expected");
  QTest::newRow("writable folder") << "/home/u/t/tarvo2kova" << true << "/x/cfg"
                                   << "/home/u"
                                   << "/home/u/t/tarvo2kova.ini";
  QTest::newRow("xdg config home") << "/usr/bin/tarvo2kova" << false << "/x/cfg"
                                   << "/home/u"
                                   << "/x/cfg/tarvo2kova.ini";
  QTest::newRow("xdg with slash") << "/usr/bin/tarvo2kova" << false << "/x/cfg/"
                                  << "/home/u"
                                  << "/x/cfg/tarvo2kova.ini";
  QTest::newRow("no xdg") << "/usr/bin/tarvo2kova" << false << ""
                          << "/home/u"
                          << "/home/u/.config/tarvo2kova.ini";
  QTest::newRow("relative xdg ignored") << "/usr/bin/tarvo2kova" << false << "cfg"
                                        << "/home/u"
                                        << "/home/u/.config/tarvo2kova.ini";
  QTest::newRow("extension replaced") << "/opt/bin/Tarvo2Kova.bin" << false << "/x/cfg"
                                      << ""
                                      << "/x/cfg/Tarvo2Kova.ini";
  QTest::newRow("nowhere else") << "/usr/bin/tarvo2kova" << false << ""
                                << ""
                                << "/usr/bin/tarvo2kova.ini";
}

void TestSettingsLocation::choose() {
  QFETCH(QString, program);
  QFETCH(bool, writable);
  QFETCH(QString, xdg);
  QFETCH(QString, home);
  QFETCH(QString, expected);
  const kova::SettingsPlace place{
      program.toStdString(), writable, xdg.toStdString(), home.toStdString(), {}};
  QCOMPARE(QString::fromStdString(kova::ChooseSettingsPath(place)), expected);
}

void TestSettingsLocation::besideWritableProgram() {
  QTemporaryDir folder;
  QVERIFY(folder.isValid());
  const QString program = folder.filePath("tarvo2kova");
  QCOMPARE(QString::fromStdString(kova::SettingsFilePath(program.toStdString())),
           folder.filePath("tarvo2kova.ini"));
}

void TestSettingsLocation::configFolderCreatedForUnwritableProgram() {
  // A program folder that does not exist cannot be written, even by root.
  QTemporaryDir folder;
  QVERIFY(folder.isValid());
  const QString config = folder.filePath("config/nested");
  QVERIFY(!QFileInfo::exists(config));
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
  const std::string path =
      kova::SettingsFilePath(folder.filePath("gone/bin/tarvo2kova").toStdString());
  qputenv("XDG_CONFIG_HOME", saved);
  QCOMPARE(QString::fromStdString(path), config + "/tarvo2kova.ini");
  QVERIFY(QFileInfo(config).isDir());
}

QTEST_GUILESS_MAIN(TestSettingsLocation)
#include "test_settings_location.moc"
