// The same field as a Tarvo grid, a GeoTIFF and a NetCDF file must give the
// same image: every header field but the title, and every pixel code.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "app/cli/convert_command.h"
#include "app/conversion.h"
#include "app/inputs/convert_input.h"
#include "app/pipeline/convert_entry.h"
#include "app/pipeline/series_plan.h"
#include "app/platform/base/errors.h"
#include "app/platform/paths.h"
#include "conversion_test_util.h"
#include "image/format.h"
#include "image/real48.h"
#include "image/template_image.h"
#include "support/input_fixtures.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace kova::inputs {
namespace {

using kova::testing::Field;
using kova::testing::NetCdfLayout;
using kova::testing::ReadAllBytes;
using kova::testing::Sample;
using kova::testing::TempDir;
using kova::testing::TiffLayout;

struct SameImageCase {
  const char* name;
  std::function<void(const std::string&, const Field&)> write;
  InputOptions options;
  const char* image;   // the image the input gives, beside it
  double step_offset;  // what the time step adds to the field
};

void PrintTo(const SameImageCase& c, std::ostream* os) {
  *os << c.name;
}

class SameImage : public ::testing::TestWithParam<SameImageCase> {
 protected:
  TempDir dir_;
  kova::testing::RecordingUi ui_;
  TKovaImg image_;
  std::string template_ = dir_.file("template.img");
  void SetUp() override { WriteTemplateImage(template_); }
};

// Header bytes without the title, and the raster.
std::vector<std::uint8_t> WithoutTitle(std::vector<std::uint8_t> bytes) {
  const KovaHeader header = DecodeHeader(*reinterpret_cast<const HeaderBytes*>(bytes.data()));
  KovaHeader untitled = header;
  untitled.Title.fill(' ');
  const HeaderBytes encoded = EncodeHeader(untitled);
  std::copy(encoded.begin(), encoded.end(), bytes.begin());
  return bytes;
}

TEST_P(SameImage, AsTheTarvoGrid) {
  Field field = kova::testing::SmallField();
  const std::string input = dir_.file("field.input");
  GetParam().write(input, field);
  std::vector<SeriesEntry> series;
  PlanInput(input, "", {.template_path = template_, .options = GetParam().options}, series);
  ASSERT_EQ(series.size(), 1u);
  EXPECT_EQ(series[0].output, dir_.file(GetParam().image));
  GridData read;
  ConvertEntry(image_, read, {.template_path = template_}, series[0]).Commit();

  for (double& v : field.values) v += GetParam().step_offset;
  const std::string grid = dir_.file("field.asc");
  kova::testing::WriteTarvoGrid(grid, field);
  kova::testing::ConvertFirstImage(image_, read, template_, grid, dir_.file("tarvo.img")).Commit();

  const auto expected = ReadAllBytes(dir_.file("tarvo.img"));
  const auto got = ReadAllBytes(dir_.file(GetParam().image));
  ASSERT_EQ(got.size(), expected.size());
  ASSERT_GT(got.size(), kHeaderSize);
  EXPECT_TRUE(WithoutTitle(got) == WithoutTitle(expected));
  const KovaHeader header = DecodeHeader(*reinterpret_cast<const HeaderBytes*>(got.data()));
  // A step chosen by --index: the variable is named too.
  const std::string stamp = GetParam().step_offset != 0 ? " rain 20240102" : "";
  EXPECT_EQ(std::string(header.Title.data(), header.Title.size())
                .rfind("Created from Tarvo field.input" + stamp + " by Tarvo2Kova", 0),
            0u);
}

std::function<void(const std::string&, const Field&)> AsTiff(TiffLayout layout) {
  return [layout](const std::string& path, const Field& field) {
    kova::testing::WriteGeoTiff(path, field, layout);
  };
}

std::function<void(const std::string&, const Field&)> AsNetCdf(
    const std::function<void(NetCdfLayout&)>& change) {
  return [change](const std::string& path, const Field& field) {
    NetCdfLayout layout;
    change(layout);
    kova::testing::WriteNetCdf(path, field, layout);
  };
}

TiffLayout Tiff(const std::function<void(TiffLayout&)>& change) {
  TiffLayout layout;
  change(layout);
  return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, SameImage,
    ::testing::Values(
        SameImageCase{"GeoTiffFloatStriped", AsTiff({}), {}, "field.img", 0},
        SameImageCase{"GeoTiffInt16TiledPointTag",
                      AsTiff(Tiff([](TiffLayout& l) {
                        l.sample = Sample::kInt16;
                        l.tiled = true;
                        l.pixel_is_point = true;
                        l.no_data = "-9999";
                      })),
                      {},
                      "field.img",
                      0},
        SameImageCase{"GeoTiffUInt8Band2",
                      AsTiff(Tiff([](TiffLayout& l) {
                        l.sample = Sample::kUInt8;
                        l.no_data = "255";
                        l.hole_value = 255;
                        l.bands = 2;
                        l.band = 2;
                      })),
                      {2, "", {}},
                      "field.img",
                      0},
        SameImageCase{
            "NetCdfFill", AsNetCdf([](NetCdfLayout& l) { l.fill = -9999; }), {}, "field.img", 0},
        SameImageCase{"NetCdf4LatAscendingPacked",
                      AsNetCdf([](NetCdfLayout& l) {
                        l.netcdf4 = true;
                        l.lat_ascending = true;
                        l.var_type = NC_SHORT;
                        l.fill = -32767;
                        l.scale = 0.5;
                        l.offset = -10;
                      }),
                      {},
                      "field.img",
                      0},
        SameImageCase{"NetCdfSecondDay",
                      AsNetCdf([](NetCdfLayout& l) {
                        l.times = {0, 1};
                      }),
                      {1, "", {{"time", 1}}},
                      "field_rain_20240102.img",
                      1000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InputSeries, OneImagePerTimeStepInTheFolderOutputNames) {
  TempDir dir;
  kova::testing::RecordingUi ui;
  TKovaImg image;
  WriteTemplateImage(dir.file("template.img"));
  std::filesystem::create_directory(dir.file("out"));
  NetCdfLayout layout;
  layout.times = {0, 0.25, 0.5};
  kova::testing::WriteNetCdf(dir.file("rain.nc"), kova::testing::SmallField(), layout);
  PlanRules rules;
  rules.template_path = dir.file("template.img");
  std::vector<SeriesEntry> series;
  PlanInput(dir.file("rain.nc"), dir.file("out"), rules, series);
  std::vector<std::string> names;
  for (const SeriesEntry& entry : series) {
    GridData grid;
    ConvertEntry(image, grid, {.template_path = rules.template_path}, entry).Commit();
    names.push_back(FileNameOf(entry.output) + " " + grid.SourceName);
  }
  // Opened once for its three steps, and given up after the last.
  EXPECT_EQ(series.front().file->source, nullptr);
  EXPECT_EQ(names, (std::vector<std::string>{"rain_20240101T0000.img rain.nc 20240101T0000",
                                             "rain_20240101T0600.img rain.nc 20240101T0600",
                                             "rain_20240101T1200.img rain.nc 20240101T1200"}));
  EXPECT_TRUE(std::filesystem::exists(dir.file("out/rain_20240101T1200.img")));

  // Time steps and an output that is no folder.
  // The window puts them beside their file instead.
  for (const bool window : {false, true}) {
    PlanRules one_image = rules;
    one_image.steps_beside_unless_folder = window;
    series.clear();
    PlanInput(dir.file("rain.nc"), dir.file("one.img"), one_image, series);
    if (window) {
      ASSERT_EQ(series.size(), 3u);
      EXPECT_EQ(series[0].output, dir.file("rain_20240101T0000.img"));
      continue;
    }
    ASSERT_EQ(series.size(), 1u);
    EXPECT_EQ(series[0].plan_error, "The time steps need a folder for their images; " +
                                        dir.file("one.img") +
                                        " is not one: " + dir.file("rain.nc"));
    GridData grid;
    EXPECT_THROW(ConvertEntry(image, grid, {.template_path = rules.template_path}, series[0]),
                 ConversionError);
  }
}

TEST(InputProjected, KeepsTheTemplateProjectionAndPlacesMapOrigin) {
  TempDir dir;
  kova::testing::RecordingUi ui;
  TKovaImg image;
  kova::testing::WriteAlbersTemplate(dir.file("albers_template.img"));
  WriteTemplateImage(dir.file("latlon.img"));
  Field field = kova::testing::SmallField();
  field.left = -200000;
  field.bottom = 100000;
  field.cell_width = field.cell_height = 5000;
  TiffLayout layout;
  layout.model = ModelTypeProjected;
  layout.std_parallel1 = 29.5;
  layout.std_parallel2 = 45.5;
  kova::testing::WriteGeoTiff(dir.file("albers.tif"), field, layout);
  GridData grid;
  std::vector<SeriesEntry> series;
  PlanInput(dir.file("albers.tif"), dir.file("albers.img"), {}, series);
  try {
    ConvertEntry(image, grid, {.template_path = dir.file("latlon.img")}, series.at(0));
    FAIL() << "no error";
  } catch (const ConversionError& error) {
    EXPECT_EQ(error.Message(),
              "The input has projected coordinates (Albers equal-area conic); give --template "
              "with a Kova image of that projection");
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("albers.img")));

  series.clear();
  PlanInput(dir.file("albers.tif"), dir.file("out.img"), {}, series);
  ConvertEntry(image, grid,
               {.template_path = dir.file("albers_template.img"), .template_named = true},
               series.at(0))
      .Commit();
  image.SetFileName(dir.file("out.img"));
  EXPECT_EQ(image.ProjectionType(), 8);
  EXPECT_EQ(image.OriginLatitude(), 0.0);
  EXPECT_EQ(image.StdParallel2(), 45.5);
  EXPECT_EQ(image.OriginColumn(), 200000.0 / 5000 - 1);
  EXPECT_EQ(image.OriginRow(), (100000.0 + 18 * 5000) / 5000 - 1);
  EXPECT_EQ(image.PixelWidth(), 5000.0);
}

}  // namespace
}  // namespace kova::inputs

namespace kova::cli {
namespace {

TEST(ConvertSeries, TimeStepsBecomeEntriesAndIndicesAreRead) {
  kova::testing::TempDir dir;
  kova::testing::NetCdfLayout layout;
  layout.times = {0, 1};
  kova::testing::WriteNetCdf(dir.file("rain.nc"), kova::testing::SmallField(), layout);
  kova::testing::WriteTarvoGrid(dir.file("snow.asc"), kova::testing::SmallField());
  ConvertOptions options;
  options.inputs = {dir.file("rain.nc"), dir.file("snow.asc")};
  const std::vector<SeriesEntry> series = ExpandSeries(options, dir.path().string());
  ASSERT_EQ(series.size(), 3u);
  EXPECT_EQ(series[0].output, dir.file("rain_20240101.img"));
  EXPECT_EQ(series[1].output, dir.file("rain_20240102.img"));
  EXPECT_EQ(series[1].grid, 1u);
  EXPECT_TRUE(series[1].gridded_file);
  EXPECT_EQ(series[2].output, dir.file("snow.img"));
  EXPECT_FALSE(series[2].gridded_file);

  // A file whose images cannot be named stays one entry that says why.
  options.inputs = {dir.file("rain.nc")};
  options.output = dir.file("rain.img");
  const std::vector<SeriesEntry> refused = ExpandSeries(options, dir.path().string());
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].plan_error, "The time steps need a folder for their images; " +
                                       dir.file("rain.img") +
                                       " is not one: " + dir.file("rain.nc"));

  // An option that names nothing the file has refuses the run.
  options.output.clear();
  options.variable = "hail";
  EXPECT_THROW(ExpandSeries(options, dir.path().string()), UsageError);
}

TEST(ConvertSeries, IndexOptions) {
  const struct {
    std::vector<std::string> texts;
    std::map<std::string, std::size_t> index;  // empty with `usage`: refused
    bool usage;
  } kCases[] = {
      {{"level=2"}, {{"level", 2}}, false},
      {{"level=0", "time=11"}, {{"level", 0}, {"time", 11}}, false},
      {{"level"}, {}, true},
      {{"=3"}, {}, true},
      {{"level="}, {}, true},
      {{"level=-1"}, {}, true},
      {{"level=2x"}, {}, true},
  };
  for (const auto& c : kCases) {
    ConvertOptions options;
    options.indices = c.texts;
    if (c.usage) {
      EXPECT_THROW(InputOptionsOf(options), UsageError) << c.texts.front();
    } else {
      EXPECT_EQ(InputOptionsOf(options).Index, c.index) << c.texts.front();
    }
  }
}

}  // namespace
}  // namespace kova::cli
