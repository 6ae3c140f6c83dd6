// The main window reads what `kova convert` reads: a GeoTIFF's first band, a
// NetCDF file's only variable, a NetCDF time series as one image per step, a
// Tarvo grid beyond the old window's 800 x 300, with the readers' refusals in
// the error box.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "app/platform/process.h"
#include "app/window/unit1.h"
#include "support/input_fixtures.h"
#include "support/recording_ui.h"
#include "support/window_fixture.h"

namespace {

using kova::testing::Field;
using kova::testing::NetCdfLayout;
using kova::testing::TiffLayout;

using kova::testing::FakeServices;
using kova::testing::ReadFile;

// Writes the inputs of a case into a folder.
using MakeInputs = std::function<void(const std::string& dir)>;

MakeInputs Tiff(const char* name, std::function<void(TiffLayout&)> change) {
  return [name, change](const std::string& dir) {
    TiffLayout layout;
    change(layout);
    kova::testing::WriteGeoTiff(dir + "/" + name, kova::testing::SmallField(), layout);
  };
}

MakeInputs NetCdf(const char* name, std::function<void(NetCdfLayout&)> change) {
  return [name, change](const std::string& dir) {
    NetCdfLayout layout;
    change(layout);
    kova::testing::WriteNetCdf(dir + "/" + name, kova::testing::SmallField(), layout);
  };
}

}  // namespace

Q_DECLARE_METATYPE(MakeInputs)

class TestWindowInputs : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void convert_data();
  void convert();
  void gridBeyondTheOldWindowLimit();
  void refusal_data();
  void refusal();
  void dialogOffersTheInputKinds();

 private:
  QString Dir() const { return folder_.Dir(); }
  // Runs "Make Kova image" on the two box texts (%1: the folder).
  void Run(TForm1& form, QString input, QString output) {
    form.Edit1->setText(input.replace("%1", Dir()));
    form.Edit2->setText(output.replace("%1", Dir()));
    QTest::mouseClick(form.Button1, Qt::LeftButton);
  }
  kova::FormPaths Paths() const { return folder_.Paths(); }

  kova::testing::TestFolder folder_;
};

void TestWindowInputs::init() {
  QVERIFY(folder_.Make());
  QVERIFY(QDir(Dir()).mkdir("images"));
}

void TestWindowInputs::cleanup() {
  folder_.Remove();
}

void TestWindowInputs::convert_data() {
  QTest::addColumn<MakeInputs>("inputs");
  QTest::addColumn<QString>("input");   // %1: the folder
  QTest::addColumn<QString>("output");  // %1: the folder
  QTest::addColumn<QString>("message");
  QTest::addColumn<QStringList>("images");  // relative to the folder, in order
  QTest::addColumn<QString>("preview");     // of the last image

  const auto no_change = [](auto&) {};
  const QStringList steps{"rain_20240101.img", "rain_20240102.img", "rain_20240201.img"};
  const auto series = [](NetCdfLayout& l) { l.times = {0, 1, 31}; };
  QTest::newRow("GeoTIFF band 1 of 2")
      << Tiff("field.tif",
              [](TiffLayout& l) {
                l.bands = 2;
                l.tiled = true;
                l.no_data = "-9999";
              })
      << "%1/field.tif"
      << "%1/out.img"
      << "Image %1/out.img created successfully" << QStringList{"out.img"}
      << "out.img: 20 x 18 pixels, values 0 to 250";
  QTest::newRow("NetCDF single grid")
      << NetCdf("rain.nc", no_change) << "%1/rain.nc"
      << "%1/out.img"
      << "Image %1/out.img created successfully" << QStringList{"out.img"}
      << "out.img: 20 x 18 pixels, values 0 to 250";
  QTest::newRow("NetCDF time series beside the file")
      << NetCdf("rain.nc", series) << "%1/rain.nc"
      << "%1/ignored.img"
      << "Number of images created: 3" << steps
      << "rain_20240201.img: 20 x 18 pixels, values "
         "2000 to 2250";
  QTest::newRow("NetCDF-4 time series into a folder")
      << NetCdf("rain.nc",
                [](NetCdfLayout& l) {
                  l.times = {0, 1, 31};
                  l.netcdf4 = true;
                })
      << "%1/rain.nc"
      << "%1/images"
      << "Number of images created: 3"
      << QStringList{"images/" + steps[0], "images/" + steps[1], "images/" + steps[2]}
      << "rain_20240201.img: 20 x 18 pixels, values 2000 to 2250";
  QTest::newRow("pattern of GeoTIFF and NetCDF files")
      << MakeInputs([=](const std::string& dir) {
           Tiff("a.tif", no_change)(dir);
           NetCdf("rain.nc", series)(dir);
         })
      << "%1/*.tif;*.nc"
      << ""
      << "Number of images created: 4" << (QStringList{"a.img"} + steps)
      << "rain_20240201.img: 20 x 18 pixels, values 2000 to 2250";
  QTest::newRow("NetCDF series of one step")
      << NetCdf("rain.nc", [](NetCdfLayout& l) { l.times = {31}; }) << "%1/rain.nc"
      << "%1/out.img"
      << "Image %1/rain_20240201.img created successfully" << QStringList{"rain_20240201.img"}
      << "rain_20240201.img: 20 x 18 pixels, values 0 to 250";
}

void TestWindowInputs::convert() {
  QFETCH(MakeInputs, inputs);
  QFETCH(QString, input);
  QFETCH(QString, output);
  QFETCH(QString, message);
  QFETCH(QStringList, images);
  QFETCH(QString, preview);
  inputs(Dir().toStdString());
  kova::testing::WriteTarvoGrid((Dir() + "/field.asc").toStdString(), kova::testing::SmallField());

  kova::testing::RecordingUi ui;
  FakeServices services;
  TForm1 form(Paths(), &services);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  // The same field as a Tarvo grid, for the codes every image must hold.
  Run(form, "%1/field.asc", "%1/images/field.img");
  QVERIFY2(services.error_texts.isEmpty(), qPrintable(services.error_texts.join('\n')));
  const QByteArray grid_codes = ReadFile(Dir() + "/images/field.img").mid(512);
  QCOMPARE(grid_codes.size(), 20 * 18);
  ui.messages.clear();

  Run(form, input, output);
  QVERIFY2(services.error_texts.isEmpty(), qPrintable(services.error_texts.join('\n')));
  QCOMPARE(ui.messages.size(), std::size_t{1});
  QCOMPARE(ui.messages[0].kind, kova::MessageKind::Information);
  QCOMPARE(QString::fromStdString(ui.messages[0].text), message.replace("%1", Dir()));
  QStringList created;
  for (const std::string& image : form.Converter().CreatedImages()) {
    created << QDir(Dir()).relativeFilePath(QString::fromStdString(image));
  }
  QCOMPARE(created, images);
  for (const QString& image : images) {
    QCOMPARE(ReadFile(Dir() + "/" + image).mid(512), grid_codes);
  }
  QVERIFY(!QFileInfo::exists(Dir() + "/ignored.img"));
  QVERIFY(form.ImagePreview->isVisible());
  QCOMPARE(form.PreviewInfo->text(), preview);
}

void TestWindowInputs::gridBeyondTheOldWindowLimit() {
  Field wide{1200, 2, 0.0, 10.0, 0.1, 0.1, {}};
  for (int i = 0; i < wide.cols * wide.rows; ++i) wide.values.push_back(i % 7);
  kova::testing::WriteTarvoGrid((Dir() + "/wide.asc").toStdString(), wide);
  kova::testing::RecordingUi ui;
  FakeServices services;
  TForm1 form(Paths(), &services);
  Run(form, "%1/wide.asc", "%1/wide.img");
  QVERIFY2(services.error_texts.isEmpty(), qPrintable(services.error_texts.join('\n')));
  QCOMPARE(QFileInfo(Dir() + "/wide.img").size(), qint64(512 + 1200 * 2));
  QCOMPARE(form.PreviewInfo->text(), QString("wide.img: 1200 x 2 pixels, values 0.0 to 6.0"));
}

void TestWindowInputs::refusal_data() {
  QTest::addColumn<MakeInputs>("inputs");
  QTest::addColumn<QString>("input");
  QTest::addColumn<QString>("start");  // of the error box's text
  QTest::newRow("NetCDF of two variables")
      << NetCdf("two.nc", [](NetCdfLayout& l) { l.second_variable = true; }) << "two.nc"
      << "The NetCDF file has several variables with latitude and longitude dimensions (rain, "
         "snow)";
  QTest::newRow("GeoTIFF cut short") << MakeInputs([](const std::string& dir) {
    Tiff("cut.tif", [](TiffLayout&) {})(dir);
    QFile(QString::fromStdString(dir + "/cut.tif")).resize(700);
  }) << "cut.tif"
                                     << "";
}

void TestWindowInputs::refusal() {
  QFETCH(MakeInputs, inputs);
  QFETCH(QString, input);
  QFETCH(QString, start);
  inputs(Dir().toStdString());
  kova::testing::RecordingUi ui;
  FakeServices services;
  TForm1 form(Paths(), &services);
  Run(form, "%1/" + input, "%1/out.img");
  QCOMPARE(services.error_texts.size(), 1);
  QVERIFY2(services.error_texts[0].startsWith(start), qPrintable(services.error_texts[0]));
  // The box names the file it is about.
  QVERIFY2(services.error_texts[0].contains(Dir() + "/" + input),
           qPrintable(services.error_texts[0]));
  QVERIFY(ui.messages.empty());
  QVERIFY(!QFileInfo::exists(Dir() + "/out.img"));
  QVERIFY(form.ImagePreview->isHidden());
}

void TestWindowInputs::dialogOffersTheInputKinds() {
  FakeServices services;
  TForm1 form(Paths(), &services);
  // All files first: the dialog also serves the output box.
  QCOMPARE(form.OpenDialog1->nameFilters(),
           QStringList({"All files (*)", "Tarvo ASCII grids (*.asc)",
                        "GeoTIFF files (*.tif *.tiff)", "NetCDF files (*.nc *.nc4 *.cdf)"}));
}

QTEST_MAIN(TestWindowInputs)
#include "test_window_inputs.moc"
