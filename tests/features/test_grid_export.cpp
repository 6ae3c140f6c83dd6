// Export back to a grid: converting the exported grid again gives the same
// codes, size and georeference, with the scale at most one 6-byte real step
// away, and each exported value within half a scale step of the original.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "app/conversion_test_util.h"
#include "app/features/grid_export.h"
#include "app/features/template_maker.h"
#include "app/platform/base/errors.h"
#include "feature_test_util.h"

namespace kova {
namespace {

using testing::ConvertGrid;
using testing::GridText;
using testing::MakeRaster;
using testing::RawImage;
using testing::ReadRawImage;
using testing::TempDir;
using testing::WriteText;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The values of a grid file (no data as NaN), read with this test's own
// simple parser: six header pairs, then the values.
std::vector<double> GridValuesOf(const std::string& text, std::string* no_data = nullptr) {
  std::istringstream in(text);
  std::string word;
  std::string marker;
  for (int i = 0; i < 12 && in >> word; ++i) {
    if (i == 11) marker = word;
  }
  if (no_data) *no_data = marker;
  std::vector<double> values;
  while (in >> word) values.push_back(word == marker ? kNaN : std::stod(word));
  return values;
}

// One 6-byte real step at x: the spacing of 40-bit significands.
double Real48Step(double x) {
  return std::ldexp(1.0, std::ilogb(x) - 39);
}

struct RoundTripCase {
  const char* name;
  std::string grid;                   // grid text; empty: the example file `name`
  std::string projection = "latlon";  // template projection
};

std::string ExampleGrid(const std::string& name) {
  std::ifstream in(std::string(KOVA_EXAMPLES_DIR) + "/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class ExportRoundTrip : public ::testing::TestWithParam<RoundTripCase> {
 protected:
  TempDir dir_;
};

TEST_P(ExportRoundTrip, SameCodesSizeAndGeoreference) {
  const RoundTripCase& c = GetParam();
  const std::string original_text = c.grid.empty() ? ExampleGrid(c.name) : c.grid;
  ASSERT_FALSE(original_text.empty());
  const std::string template_path = dir_.file("template.img");
  TemplateParameters parameters{c.projection, {}, {}, {}, {}};
  if (c.projection == "albers") parameters = {"albers", 23.0, -96.0, 29.5, 45.5};
  WriteTemplateImage(template_path, MakeTemplateHeader(parameters));

  WriteText(dir_.file("a.asc"), original_text);
  ConvertGrid(template_path, dir_.file("a.asc"), dir_.file("a.img"));
  const std::string exported = ExportGridText(ReadImageRaster(dir_.file("a.img")));
  WriteText(dir_.file("b.asc"), exported);
  ConvertGrid(template_path, dir_.file("b.asc"), dir_.file("b.img"));

  const RawImage a = ReadRawImage(dir_.file("a.img"));
  const RawImage b = ReadRawImage(dir_.file("b.img"));
  ASSERT_EQ(a.bytes.size(), b.bytes.size());
  EXPECT_EQ(b.Rows(), a.Rows());
  EXPECT_EQ(b.Columns(), a.Columns());
  EXPECT_EQ(b.ProjectionType(), a.ProjectionType());
  EXPECT_EQ(b.OriginLatitude(), a.OriginLatitude());
  EXPECT_EQ(b.OriginLongitude(), a.OriginLongitude());
  EXPECT_EQ(b.OriginColumn(), a.OriginColumn());
  EXPECT_EQ(b.OriginRow(), a.OriginRow());
  EXPECT_EQ(b.PixelWidth(), a.PixelWidth());
  EXPECT_EQ(b.PixelHeight(), a.PixelHeight());
  EXPECT_EQ(b.ScaleOffset(), a.ScaleOffset());
  // The values pass through 4-byte floats: the scale may move by one step.
  const double steps = (b.ScaleFactor() - a.ScaleFactor()) / Real48Step(a.ScaleFactor());
  EXPECT_LE(std::fabs(steps), 1.0) << "scale moved by " << steps << " steps";
  std::printf("[ measured ] %s: scale moved by %g steps of the 6-byte real\n", c.name, steps);
  for (int r = 0; r < a.Rows(); ++r) {
    for (int col = 0; col < a.Columns(); ++col) {
      ASSERT_EQ(b.Pixel(r, col), a.Pixel(r, col)) << "row " << r << ", column " << col;
    }
  }

  // Each exported value lies within half a scale step of the original one
  // (and the 4-byte rounding of the exported text).
  const std::vector<double> original = GridValuesOf(original_text);
  std::string marker;
  const std::vector<double> back = GridValuesOf(exported, &marker);
  EXPECT_EQ(marker, "-9999");
  ASSERT_EQ(back.size(), static_cast<std::size_t>(a.Rows()) * a.Columns());
  for (std::size_t i = 0; i < back.size(); ++i) {
    ASSERT_EQ(std::isnan(back[i]), std::isnan(original[i])) << "cell " << i;
    if (std::isnan(back[i])) continue;
    const double v = static_cast<float>(original[i]);
    const double tolerance =
        a.ScaleFactor() / 2 + std::fabs(v) * std::numeric_limits<float>::epsilon();
    EXPECT_LE(std::fabs(back[i] - v), tolerance) << "cell " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Grids, ExportRoundTrip,
    ::testing::Values(
        RoundTripCase{"rain_dekad1.asc", ""}, RoundTripCase{"rain_dekad2.asc", ""},
        RoundTripCase{"rain_dekad3.asc", ""},
        RoundTripCase{"with_no_data",
                      GridText(4, 3, 10.5, -3.25, 0.25,
                               {1.5, kNaN, 2.25, 3, kNaN, kNaN, 7.125, 0.1, -4.75, 8, kNaN, 12.5})},
        RoundTripCase{"constant",
                      GridText(3, 2, -180, -90, 1, {42.7, 42.7, 42.7, 42.7, 42.7, 42.7})},
        RoundTripCase{"one_row", GridText(5, 1, 0, 0, 0.5, {0.001, 0.002, 0.0035, 0.004, 0.005})},
        RoundTripCase{"all_no_data", GridText(2, 2, 5, 5, 2, {kNaN, kNaN, kNaN, kNaN})},
        RoundTripCase{"large", GridText(3, 2, 100, 40, 0.01, {-3.5e7, 1.25e8, 6e7, 0, 1, -1})},
        RoundTripCase{"albers_metres",
                      GridText(3, 2, -250000, 1500000, 50000, {0.5, 1.5, kNaN, 7, 8.25, 3}),
                      "albers"}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& ch : name) {
        if (ch == '.') ch = '_';
      }
      return name;
    });

// --- Header of the exported grid from size and georeference.
TEST(GridPlacement, InverseOfTheConversionForBothKindsOfTemplate) {
  ImageRaster image = MakeRaster(7, 3, std::vector<std::uint8_t>(21));
  // Latitude/longitude: origin at the centre, column Columns/2 - 1.
  image.header.OriginLongitude = EncodeReal48(29.0L + 3.5L * 0.5L);
  image.header.OriginLatitude = EncodeReal48(-4.0L + 1.5L * 0.5L);
  image.header.OriginColumn = EncodeReal48(2.5L);
  image.header.OriginRow = EncodeReal48(0.5L);
  image.header.PixelWidth = image.header.PixelHeight = EncodeReal48(0.5L);
  GridPlacement p = GridPlacementOf(image);
  EXPECT_EQ(p.left, 29.0f);
  EXPECT_EQ(p.bottom, -4.0f);
  EXPECT_EQ(p.cell, 0.5f);
  // Projected (Albers): the origin pixel alone places the grid.
  image.header.ProjectionType = 8;
  image.header.OriginColumn = EncodeReal48(4.0L);  // left = -(4 + 1) x 1000
  image.header.OriginRow = EncodeReal48(-998.0L);  // bottom = (-998 - 2) x 1000
  image.header.PixelWidth = image.header.PixelHeight = EncodeReal48(1000.0L);
  p = GridPlacementOf(image);
  EXPECT_EQ(p.left, -5000.0f);
  EXPECT_EQ(p.bottom, -1000000.0f);
}

struct RefusalCase {
  const char* name;
  long double pixel_width, pixel_height;
  std::vector<std::uint8_t> codes;
  long double factor, offset;
  std::string no_data;
  std::string message;
};

class ExportRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ExportRefusal, SaysWhy) {
  const RefusalCase& c = GetParam();
  ImageRaster image = MakeRaster(2, 1, c.codes, c.factor, c.offset);
  image.header.PixelWidth = EncodeReal48(c.pixel_width);
  image.header.PixelHeight = EncodeReal48(c.pixel_height);
  try {
    ExportGridText(image, c.no_data);
    FAIL() << "no error";
  } catch (const KovaError& error) {
    EXPECT_EQ(error.Message(), c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Images, ExportRefusal,
    ::testing::Values(
        RefusalCase{"not_square",
                    1,
                    2,
                    {0, 1},
                    1,
                    0,
                    "-9999",
                    "The image memory.img has pixels of different width and height; grid cells "
                    "are square"},
        RefusalCase{"no_size",
                    0,
                    0,
                    {0, 1},
                    1,
                    0,
                    "-9999",
                    "The image memory.img has no positive pixel size"},
        // Code 1 is -9999 + 1 x 1: the value -9998 is fine, -9999 (code 0) is not.
        RefusalCase{"value_is_no_data",
                    1,
                    1,
                    {1, 0},
                    1,
                    -9999,
                    "-9999",
                    "The no-data text -9999 is also a value of the image memory.img"},
        // 253 x 1e38 lies beyond the largest 4-byte float.
        RefusalCase{
            "too_large_for_a_float", 1, 1, {0, 253}, 1e38L, 0, "-9999", "Floating point overflow"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExportNoData, AnotherNoDataTextAndCodesOutsideTheValidOnes) {
  // -9999 is a value here, so another no-data text is chosen; code 255
  // (above MaxCode) and 254 (NoDataCode) both come out as no data.
  const ImageRaster image = MakeRaster(4, 1, {0, 1, 254, 255}, 1.0L, -9999.0L);
  EXPECT_EQ(ExportGridText(image, "-1"),
            "columns 4\nrows 1\nleftedge -1\nbottomedge 0\ncell 1\nnodata -1\n"
            "-9999 -9998 -1 -1\n");
}

}  // namespace
}  // namespace kova
