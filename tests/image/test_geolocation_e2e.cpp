// From grid to geography: a grid is converted on a latitude/longitude
// template, the new image is attached, and its pixel size, extent and pixel
// positions are checked against what the grid header alone says they must be.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/conversion.h"
#include "app/pipeline/converter.h"
#include "image/format.h"
#include "image/kova_img.h"
#include "image/real48.h"
#include "image/template_image.h"
#include "support/recording_ui.h"
#include "support/temp_dir.h"

namespace kova {
namespace {

using testing::RecordingUi;
using testing::TempDir;
using testing::WriteAllBytes;
using testing::WriteText;

constexpr long double kPi = 3.14159265358979323846264338327950288L;
constexpr double kDegreeTolerance = 1e-9;

struct GridCase {
  const char* name;
  int cols;
  int rows;
  const char* left;  // header texts, exactly as in the file
  const char* bottom;
  const char* cell;
};

std::string GridText(const GridCase& g) {
  std::ostringstream text;
  text << "columns " << g.cols << "\nrows " << g.rows << "\nleftedge " << g.left << "\nbottomedge "
       << g.bottom << "\ncell " << g.cell << "\nnodata -9999\n";
  for (int r = 0; r < g.rows; ++r) {
    for (int c = 0; c < g.cols; ++c) text << (r * g.cols + c) % 97 << (c + 1 < g.cols ? " " : "\n");
  }
  return text.str();
}

// The header reals as the grid file gives them: decimal text to a 4-byte float.
long double GridReal(const char* text) {
  return static_cast<float>(std::strtold(text, nullptr));
}

long double R48(long double value) {
  return RoundToReal48(value);
}

// The georeference a conversion must give the image, worked out from the grid
// header: the origin is the grid's centre, at column n/2 - 1 and row m/2 - 1,
// and the pixels are one cell wide and high.
struct Georeference {
  long double origin_longitude, origin_latitude, origin_column, origin_row, pixel_size;

  explicit Georeference(const GridCase& g) {
    const long double left = GridReal(g.left);
    const long double bottom = GridReal(g.bottom);
    const long double cell = GridReal(g.cell);
    const long double right = static_cast<float>(g.cols * cell + left);
    const long double top = static_cast<float>(g.rows * cell + bottom);
    origin_longitude = R48(static_cast<double>((left + right) / 2));
    origin_latitude = R48(static_cast<double>((bottom + top) / 2));
    origin_column = R48(g.cols / 2.0L - 1);
    origin_row = R48(g.rows / 2.0L - 1);
    pixel_size = R48(cell);
  }

  long double Longitude(double column) const {
    return origin_longitude + pixel_size * (R48(column) - origin_column);
  }
  long double Latitude(double row) const {
    return origin_latitude + pixel_size * (origin_row - R48(row));
  }
};

class GeolocationAfterConversion : public ::testing::TestWithParam<GridCase> {
 protected:
  // Converts the case's grid and attaches the image it gave.
  void SetUp() override {
    const GridCase& g = GetParam();
    const std::string template_path = dir_.file("template.img");
    const std::string grid_path = dir_.file("grid.asc");
    output_ = dir_.file("grid.img");
    WriteTemplateImage(template_path);
    WriteText(grid_path, GridText(g));

    TKovaImg converting_image;
    Converter converter(converting_image, ConversionSettings{template_path, std::nullopt},
                        dir_.path().string());
    converter.Run(grid_path, output_);
    ASSERT_EQ(ui_.messages.size(), 1u);
    ASSERT_EQ(ui_.messages[0].text, "Image " + output_ + " created successfully");

    image_.SetFileName(output_);
    ASSERT_EQ(image_.Status(), 1);
  }

  RecordingUi ui_;
  TempDir dir_;
  std::string output_;
  TKovaImg image_;
};

TEST_P(GeolocationAfterConversion, HeaderCarriesTheGridsCentreAndCellSize) {
  const GridCase& g = GetParam();
  const Georeference geo(g);
  EXPECT_EQ(image_.ProjectionType(), 3);
  EXPECT_EQ(image_.Columns(), g.cols);
  EXPECT_EQ(image_.Rows(), g.rows);
  EXPECT_NEAR(image_.OriginLongitude(), static_cast<double>(geo.origin_longitude),
              kDegreeTolerance);
  EXPECT_NEAR(image_.OriginLatitude(), static_cast<double>(geo.origin_latitude), kDegreeTolerance);
  EXPECT_EQ(image_.OriginColumn(), static_cast<double>(geo.origin_column));
  EXPECT_EQ(image_.OriginRow(), static_cast<double>(geo.origin_row));
  EXPECT_EQ(image_.PixelWidth(), static_cast<double>(geo.pixel_size));
  EXPECT_EQ(image_.PixelHeight(), static_cast<double>(geo.pixel_size));
}

TEST_P(GeolocationAfterConversion, ExtentIsTheCornerPixelsOfTheGrid) {
  const GridCase& g = GetParam();
  const Georeference geo(g);
  // Rows grow southward, so row 0 is the northern edge, columns eastward.
  const long double west = geo.Longitude(0);
  const long double east = geo.Longitude(g.cols - 1);
  const long double north = geo.Latitude(0);
  const long double south = geo.Latitude(g.rows - 1);
  EXPECT_NEAR(image_.MinLongitude(), static_cast<double>(west), kDegreeTolerance);
  EXPECT_NEAR(image_.MaxLongitude(), static_cast<double>(east), kDegreeTolerance);
  EXPECT_NEAR(image_.MinLatitude(), static_cast<double>(south), kDegreeTolerance);
  EXPECT_NEAR(image_.MaxLatitude(), static_cast<double>(north), kDegreeTolerance);

  // The same from the header texts alone, rounding aside: the extent runs
  // from one cell east of the left edge to the right edge, and from the
  // bottom edge to one cell below the top edge. Longitudes past 180 are not
  // folded back.
  const double left = std::strtod(g.left, nullptr);
  const double bottom = std::strtod(g.bottom, nullptr);
  const double cell = std::strtod(g.cell, nullptr);
  EXPECT_NEAR(image_.MinLongitude(), left + cell, 1e-4);
  EXPECT_NEAR(image_.MaxLongitude(), left + g.cols * cell, 1e-4);
  EXPECT_NEAR(image_.MinLatitude(), bottom, 1e-4);
  EXPECT_NEAR(image_.MaxLatitude(), bottom + (g.rows - 1) * cell, 1e-4);
}

TEST_P(GeolocationAfterConversion, PixelSizeIsTheGroundWidthAlongTheMiddleRow) {
  const GridCase& g = GetParam();
  const Georeference geo(g);
  const int middle = (g.rows - 1) / 2;
  const long double phi = geo.Latitude(middle);
  const long double width = geo.Longitude(g.cols - 1) - geo.Longitude(0);
  const long double expected = cosl(phi * kPi / 180) * width * 4000 / (g.cols * 36.0L);
  EXPECT_FLOAT_EQ(image_.PixelSizeKm(), static_cast<float>(expected));
  if (g.cols > 1) {
    // A cell of c degrees is about c * 111 km wide at the equator.
    const double cell = std::strtod(g.cell, nullptr);
    EXPECT_GT(image_.PixelSizeKm(), 0.0f);
    EXPECT_LE(image_.PixelSizeKm(), cell * 4000 / 36 * (g.cols - 1) / g.cols + 1e-3);
  } else {
    EXPECT_EQ(image_.PixelSizeKm(), 0.0f);
  }
}

TEST_P(GeolocationAfterConversion, PixelPositionsFollowTheGrid) {
  const GridCase& g = GetParam();
  const Georeference geo(g);
  const double last_column = g.cols - 1;
  const double last_row = g.rows - 1;
  const struct {
    double column, row;
  } positions[] = {
      {0, 0},
      {last_column, 0},
      {0, last_row},
      {last_column, last_row},
      {last_column / 2, last_row / 2},
      {0.25, 0.75},
      {last_column + 0.5, last_row + 0.5},  // the outer corner: no clipping
  };
  for (const auto& p : positions) {
    SCOPED_TRACE(::testing::Message() << "column " << p.column << ", row " << p.row);
    double longitude = 0;
    double latitude = 0;
    image_.PixelToLatLon(longitude, latitude, p.column, p.row);
    EXPECT_NEAR(longitude, static_cast<double>(geo.Longitude(p.column)), kDegreeTolerance);
    EXPECT_NEAR(latitude, static_cast<double>(geo.Latitude(p.row)), kDegreeTolerance);
  }

  // The origin pixel lies exactly at the grid's centre (when it is a
  // position inside the image at all).
  if (geo.origin_column >= 0 && geo.origin_row >= 0) {
    double longitude = 0;
    double latitude = 0;
    image_.PixelToLatLon(longitude, latitude, static_cast<double>(geo.origin_column),
                         static_cast<double>(geo.origin_row));
    EXPECT_EQ(longitude, image_.OriginLongitude());
    EXPECT_EQ(latitude, image_.OriginLatitude());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Grids, GeolocationAfterConversion,
    ::testing::Values(GridCase{"NorthernEven", 60, 40, "29.0", "4.0", "0.1"},
                      GridCase{"NorthernOdd", 7, 5, "5.5", "60.25", "0.5"},
                      GridCase{"SouthernOdd", 9, 11, "-75.3", "-55.7", "0.3"},
                      GridCase{"SouthernEven", 12, 8, "140", "-44", "0.25"},
                      GridCase{"StraddlesTheDateLine", 40, 20, "170", "-10", "0.5"},
                      GridCase{"StraddlesTheEquator", 50, 30, "-20", "-7.5", "0.5"},
                      GridCase{"OneColumn", 1, 6, "12.5", "33.0", "0.05"},
                      GridCase{"OneRow", 5, 1, "-3.0", "51.5", "0.125"},
                      GridCase{"OneCell", 1, 1, "100", "-80", "2"},
                      GridCase{"LargestGrid", 800, 300, "-180", "-89.95", "0.05"}),
    [](const ::testing::TestParamInfo<GridCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kova
