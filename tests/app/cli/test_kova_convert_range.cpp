// One scale for a series through the built `kova convert`: --range against
// the plain run, the cells it clamps, the ranges it refuses; --series-range
// over Tarvo grids, GeoTIFFs and a NetCDF time series against --range of the
// combined extremes; the outlier warning.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/conversion.h"
#include "support/input_fixtures.h"
#include "support/kova_run.h"

namespace kova::testing {
namespace {

using Args = std::vector<std::string>;

Args operator+(Args head, const Args& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

std::string FloatText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(static_cast<float>(value)));
  return text;
}

// SmallField plus `offset` in every cell.
Field Shifted(double offset) {
  Field field = SmallField();
  for (double& v : field.values) v += offset;
  return field;
}

// The valid extremes of SmallField shifted by each offset, as --range texts.
Args RangeOf(const std::vector<double>& offsets) {
  double low = 1e300, high = -1e300;
  for (const double offset : offsets) {
    for (const double v : Shifted(offset).values) {
      if (v != v) continue;
      low = std::min(low, v);
      high = std::max(high, v);
    }
  }
  return {FloatText(low), FloatText(high)};
}

// A series of one kind: its files written into a folder, the arguments that
// name them and the images a run makes.
struct SeriesKind {
  const char* label;
  std::vector<double> offsets;  // one image per offset of the field
  std::function<void(const TempDir&, const std::vector<double>&)> write;
  Args inputs;
  std::vector<std::string> images;
};

void PrintTo(const SeriesKind& c, std::ostream* os) {
  *os << c.label;
}

void WriteGrids(const TempDir& dir, const std::vector<double>& offsets) {
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    WriteTarvoGrid(dir.file("rain_" + std::to_string(i) + ".asc"), Shifted(offsets[i]));
  }
}

void WriteTiffs(const TempDir& dir, const std::vector<double>& offsets) {
  TiffLayout layout;
  layout.no_data = "-9999";
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    WriteGeoTiff(dir.file("rain_" + std::to_string(i) + ".tif"), Shifted(offsets[i]), layout);
  }
}

// Step t holds the field plus 1000 t.
void WriteTimeSeries(const TempDir& dir, const std::vector<double>& offsets) {
  NetCdfLayout layout;
  for (std::size_t t = 0; t < offsets.size(); ++t) layout.times.push_back(static_cast<double>(t));
  WriteNetCdf(dir.file("rain.nc"), SmallField(), layout);
}

class SeriesRange : public ::testing::TestWithParam<SeriesKind> {};

// Every image of --series-range has one scale and equals the image of a run
// with --range of the series' extremes.
TEST_P(SeriesRange, OneScaleEqualToRangeOfTheCombinedExtremes) {
  const SeriesKind& c = GetParam();
  const Args range = RangeOf(c.offsets);
  TempDir series_dir, range_dir;
  c.write(series_dir, c.offsets);
  c.write(range_dir, c.offsets);
  const KovaResult series =
      RunKova(series_dir.path(), Args{"convert", "--series-range", "-v", "-j", "2"} + c.inputs);
  ASSERT_EQ(series.code, 0) << series.err;
  EXPECT_EQ(series.err, "");
  const std::string text = range[0] + " to " + range[1];
  EXPECT_EQ(series.out.rfind("series range " + text + " (ScaleFactor ", 0), 0u) << series.out;
  EXPECT_NE(series.out.find("Number of images created: " + std::to_string(c.images.size()) +
                            "; values coded from " + text + "\n"),
            std::string::npos)
      << series.out;
  ASSERT_EQ(RunKova(range_dir.path(), Args{"convert", "-q", "--range"} + range + c.inputs).code, 0);
  for (const std::string& image : c.images) {
    const RawImage got = ReadRawImage(series_dir.file(image));
    ASSERT_GT(got.bytes.size(), kHeaderSize) << image;
    EXPECT_TRUE(got.bytes == ReadAllBytes(range_dir.file(image))) << image;
    EXPECT_EQ(got.ScaleOffset(), std::stod(range[0])) << image;
    EXPECT_EQ(got.ScaleFactor(), ReadRawImage(series_dir.file(c.images[0])).ScaleFactor());
  }
}

// --range with a file's own extremes is the plain run, byte for byte.
TEST_P(SeriesRange, RangeOfOwnExtremesIsThePlainRun) {
  const SeriesKind& c = GetParam();
  TempDir plain_dir, range_dir;
  c.write(plain_dir, {c.offsets[0]});
  c.write(range_dir, {c.offsets[0]});
  const Args input = {c.inputs[0]};
  ASSERT_EQ(RunKova(plain_dir.path(), Args{"convert", "-q"} + input).code, 0);
  const KovaResult ranged =
      RunKova(range_dir.path(), Args{"convert", "--range"} + RangeOf({c.offsets[0]}) + input);
  ASSERT_EQ(ranged.code, 0) << ranged.err;
  EXPECT_EQ(ranged.err, "");
  const auto bytes = ReadAllBytes(plain_dir.file(c.images[0]));
  ASSERT_GT(bytes.size(), kHeaderSize);
  EXPECT_TRUE(bytes == ReadAllBytes(range_dir.file(c.images[0])));
}

INSTANTIATE_TEST_SUITE_P(Kinds, SeriesRange,
                         ::testing::Values(SeriesKind{"TarvoGrids",
                                                      {0, 40, -15},
                                                      WriteGrids,
                                                      {"rain_*.asc"},
                                                      {"rain_0.img", "rain_1.img", "rain_2.img"}},
                                           SeriesKind{"GeoTiffs",
                                                      {5, 0, 300},
                                                      WriteTiffs,
                                                      {"rain_0.tif", "rain_1.tif", "rain_2.tif"},
                                                      {"rain_0.img", "rain_1.img", "rain_2.img"}},
                                           SeriesKind{"NetCdfTimeSeries",
                                                      {0, 1000, 2000},
                                                      WriteTimeSeries,
                                                      {"rain.nc"},
                                                      {"rain_20240101.img", "rain_20240102.img",
                                                       "rain_20240103.img"}}));

// What a user sees of a run on the field as field.asc (or of a series of
// rain_0.asc and rain_1.asc with one value too many in rain_1.asc).
struct RunCase {
  const char* label;
  Args args;
  int code;
  std::string err;  // COUNT: the cells outside the range, counted by the test
  std::vector<std::string> images;
};

void PrintTo(const RunCase& c, std::ostream* os) {
  *os << c.label;
}

class RangeRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(RangeRuns, ClampRefuseOrStop) {
  const RunCase& c = GetParam();
  TempDir dir;
  const Field field = SmallField();
  WriteTarvoGrid(dir.file("field.asc"), field);
  WriteGrids(dir, {0, 40});
  WriteText(dir.file("rain_1.asc"), ReadText(dir.file("rain_1.asc")) + "7\n");
  const KovaResult result = RunKova(dir.path(), c.args);
  EXPECT_EQ(result.code, c.code);
  EXPECT_EQ(FileNames(dir.path(), ".img"), c.images);
  std::string err = c.err;
  const auto count_at = err.find("COUNT");
  if (count_at == std::string::npos || c.code != 0) {
    EXPECT_NE(result.err.find(err), std::string::npos) << result.err;
    return;
  }
  // Each valid cell below MIN is code 0, above MAX 253; no data stays 254.
  const double low = std::stod(c.args[2]), high = std::stod(c.args[3]);
  const RawImage image = ReadRawImage(dir.file("field.img"));
  std::size_t outside = 0;
  for (int r = 0; r < field.rows; ++r) {
    for (int col = 0; col < field.cols; ++col) {
      const double v = field.at(r, col);
      const int expected = field.missing(r, col) ? 254 : v < low ? 0 : v > high ? 253 : -1;
      if (expected >= 0) {
        EXPECT_EQ(image.Pixel(r, col), expected) << r << " " << col;
      }
      outside += expected == 0 || expected == 253;
    }
  }
  EXPECT_EQ(result.err, err.replace(count_at, 5, std::to_string(outside)));
  EXPECT_EQ(result.out, "Image field.img created successfully; values coded from " + c.args[2] +
                            " to " + c.args[3] + "\n");
}

const std::string kUsage = "\nkova: run 'kova help' for the commands and options\n";

INSTANTIATE_TEST_SUITE_P(
    Runs, RangeRuns,
    ::testing::Values(
        RunCase{"Inside", {"convert", "--range", "-10", "300", "field.asc"}, 0, "", {"field.img"}},
        RunCase{
            "Clamped",
            {"convert", "--range", "10", "200", "field.asc"},
            0,
            "kova: field.asc: COUNT cells outside the range 10 to 200 coded as its nearer end\n",
            {"field.img"}},
        // The field's largest value, 250, is in one cell.
        RunCase{"OneCellAbove",
                {"convert", "--range", "0", "249.5", "field.asc"},
                0,
                "kova: field.asc: 1 cell outside the range 0 to 249.5 coded as its nearer end\n",
                {"field.img"}},
        RunCase{"Equal",
                {"convert", "--range", "5", "5", "field.asc"},
                2,
                "kova: --range needs MAX greater than MIN, not 5 and 5" + kUsage,
                {}},
        RunCase{"Reversed",
                {"convert", "--range", "6", "5", "field.asc"},
                2,
                "kova: --range needs MAX greater than MIN, not 6 and 5" + kUsage,
                {}},
        // Equal once read as 4-byte floats, as grid values are read.
        RunCase{"EqualAsFloats",
                {"convert", "--range", "1", "1.00000001", "field.asc"},
                2,
                "kova: --range needs MAX greater than MIN, not 1 and 1" + kUsage,
                {}},
        RunCase{"NotANumber",
                {"convert", "--range", "0", "lots", "field.asc"},
                2,
                "kova: --range MAX: 'lots' is not a valid floating point value" + kUsage,
                {}},
        // A file that cannot be read stops the first pass before any image;
        // with --keep-going it is left out of the range and fails in its turn.
        RunCase{"DamagedFileStops",
                {"convert", "--series-range", "rain_*.asc"},
                1,
                "rain_1.asc\nkova: stopped at file 2 of 2 while finding the range of the series; "
                "no image created\n",
                {}},
        RunCase{"DamagedFileLeftOut",
                {"convert", "--series-range", "-q", "--keep-going", "rain_*.asc"},
                1,
                "kova: 1 of 2 images created; 1 failed\n",
                {"rain_0.img"}}));

// --- The outlier warning --------------------------------------------------

struct OutlierRun {
  const char* label;
  bool spike;  // one undeclared 9999 at row 3, column 11
  Args options;
  std::string err;
};

void PrintTo(const OutlierRun& c, std::ostream* os) {
  *os << c.label;
}

class OutlierWarning : public ::testing::TestWithParam<OutlierRun> {};

// The warning names the value and where it lies; the image is the one a
// quiet run makes.
TEST_P(OutlierWarning, NamesTheValueAndLeavesTheImageAlone) {
  const OutlierRun& c = GetParam();
  Field field{60, 40, 10, 40, 0.5, 0.5, {}};
  for (int i = 0; i < 2400; ++i) field.values.push_back((i * 37 % 301) * 0.1);
  if (c.spike) field.values[130] = 9999;
  TempDir dir, quiet_dir;
  WriteTarvoGrid(dir.file("grid.asc"), field);
  WriteTarvoGrid(quiet_dir.file("grid.asc"), field);
  const KovaResult result = RunKova(dir.path(), Args{"convert"} + c.options + Args{"grid.asc"});
  ASSERT_EQ(result.code, 0);
  EXPECT_EQ(result.err, c.err);
  Args quiet = {"convert", "-q"};
  for (const std::string& option : c.options) {
    if (option != "-q" && option != "-v") quiet.push_back(option);
  }
  ASSERT_EQ(RunKova(quiet_dir.path(), quiet + Args{"grid.asc"}).code, 0);
  EXPECT_TRUE(ReadAllBytes(dir.file("grid.img")) == ReadAllBytes(quiet_dir.file("grid.img")));
}

const std::string kSpikeWarning =
    "kova: warning: grid.asc: 2399 of 2400 valid values fall into 2 codes; the largest value 9999 "
    "(row 3, column 11) stretches the scale. If it marks missing cells, declare it as the file's "
    "no-data value; otherwise give --range MIN MAX\n";

INSTANTIATE_TEST_SUITE_P(
    Grids, OutlierWarning,
    ::testing::Values(OutlierRun{"EvenlySpread", false, {}, ""},
                      OutlierRun{"OneUndeclared9999", true, {}, kSpikeWarning},
                      OutlierRun{"VerboseToo", true, {"-v"}, kSpikeWarning},
                      OutlierRun{"QuietSilences", true, {"-q"}, ""},
                      // A range of the user's clamps it; nothing to warn of.
                      OutlierRun{"RangeGiven",
                                 true,
                                 {"--range", "0", "30"},
                                 "kova: grid.asc: 1 cell outside the range 0 to 30 coded as its "
                                 "nearer end\n"},
                      // The range of a series is stretched as a file's own is.
                      OutlierRun{"SeriesRange", true, {"--series-range"}, kSpikeWarning}));

}  // namespace
}  // namespace kova::testing
