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

#include "image/format.h"
#include "image/real48.h"
#include "kova_run.h"
#include "support/input_fixtures.h"
#include "support/temp_dir.h"

namespace kova::testing {
namespace {

namespace fs = std::filesystem;

std::string FloatText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(static_cast<float>(value)));
  return text;
}

KovaHeader HeaderOf(const std::vector<std::uint8_t>& bytes) {
  HeaderBytes header{};
  std::copy_n(bytes.begin(), header.size(), header.begin());
  return DecodeHeader(header);
}

// The smallest and largest valid value of fields that differ by `offsets`.
std::pair<double, double> Extremes(const Field& field, const std::vector<double>& offsets) {
  double low = 1e300, high = -1e300;
  for (const double offset : offsets) {
    for (const double v : field.values) {
      if (v != v) continue;
      low = std::min(low, v + offset);
      high = std::max(high, v + offset);
    }
  }
  return {low, high};
}

// A series of one kind: the inputs written into a folder, and the names of
// the images a run makes of them.
struct SeriesKind {
  const char* label;
  std::vector<double> offsets;  // the field plus each, one per image
  std::function<void(const TempDir&, const std::vector<double>&)> write;
  std::vector<std::string> inputs;  // as given to kova convert
  std::vector<std::string> images;
};

void PrintTo(const SeriesKind& c, std::ostream* os) {
  *os << c.label;
}

void WriteGrids(const TempDir& dir, const std::vector<double>& offsets) {
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    Field field = SmallField();
    for (double& v : field.values) v += offsets[i];
    WriteTarvoGrid(dir.file("rain_" + std::to_string(i) + ".asc"), field);
  }
}

void WriteTiffs(const TempDir& dir, const std::vector<double>& offsets) {
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    Field field = SmallField();
    for (double& v : field.values) v += offsets[i];
    TiffLayout layout;
    layout.no_data = "-9999";
    WriteGeoTiff(dir.file("rain_" + std::to_string(i) + ".tif"), field, layout);
  }
}

// Step t of the NetCDF series holds the field plus 1000 t.
void WriteTimeSeries(const TempDir& dir, const std::vector<double>& offsets) {
  NetCdfLayout layout;
  for (std::size_t t = 0; t < offsets.size(); ++t) layout.times.push_back(static_cast<double>(t));
  WriteNetCdf(dir.file("rain.nc"), SmallField(), layout);
}

const SeriesKind kTarvo{"TarvoGrids",
                        {0, 40, -15},
                        WriteGrids,
                        {"rain_*.asc"},
                        {"rain_0.img", "rain_1.img", "rain_2.img"}};
const SeriesKind kTiff{"GeoTiffs",
                       {5, 0, 300},
                       WriteTiffs,
                       {"rain_0.tif", "rain_1.tif", "rain_2.tif"},
                       {"rain_0.img", "rain_1.img", "rain_2.img"}};
const SeriesKind kNetCdf{"NetCdfTimeSeries",
                         {0, 1000, 2000},
                         WriteTimeSeries,
                         {"rain.nc"},
                         {"rain_20240101.img", "rain_20240102.img", "rain_20240103.img"}};

std::vector<std::string> Args(std::vector<std::string> head, const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

class SeriesRange : public ::testing::TestWithParam<SeriesKind> {};

// Every image of --series-range has one scale, and equals the image of a
// run with --range of the series' extremes.
TEST_P(SeriesRange, OneScaleEqualToRangeOfTheCombinedExtremes) {
  const SeriesKind& c = GetParam();
  const auto [low, high] = Extremes(SmallField(), c.offsets);
  const std::string range = FloatText(low) + " to " + FloatText(high);
  TempDir series_dir, range_dir;
  c.write(series_dir, c.offsets);
  c.write(range_dir, c.offsets);

  const KovaResult series = RunKova(
      series_dir.path(), Args({"convert", "--series-range", "-v", "--jobs", "2"}, c.inputs));
  ASSERT_EQ(series.code, 0) << series.err;
  EXPECT_EQ(series.err, "");
  EXPECT_EQ(series.out.rfind("series range " + range + " (ScaleFactor ", 0), 0u) << series.out;
  EXPECT_NE(series.out.find("Number of images created: " + std::to_string(c.images.size()) +
                            "; values coded from " + range + "\n"),
            std::string::npos)
      << series.out;

  const KovaResult ranged =
      RunKova(range_dir.path(),
              Args({"convert", "-q", "--range", FloatText(low), FloatText(high)}, c.inputs));
  ASSERT_EQ(ranged.code, 0) << ranged.err;

  std::optional<KovaHeader> first;
  for (const std::string& image : c.images) {
    const auto bytes = ReadAllBytes(series_dir.file(image));
    ASSERT_GT(bytes.size(), kHeaderSize) << image;
    EXPECT_TRUE(bytes == ReadAllBytes(range_dir.file(image))) << image;
    const KovaHeader header = HeaderOf(bytes);
    if (!first) first = header;
    EXPECT_EQ(header.ScaleFactor, first->ScaleFactor) << image;
    EXPECT_EQ(header.ScaleOffset, first->ScaleOffset) << image;
  }
  EXPECT_EQ(DecodeReal48(first->ScaleOffset), static_cast<float>(low));
}

// --range with a file's own extremes is the plain run, byte for byte.
TEST_P(SeriesRange, RangeOfOwnExtremesIsThePlainRun) {
  const SeriesKind& c = GetParam();
  const std::vector<double> one = {c.offsets.front()};
  const auto [low, high] = Extremes(SmallField(), one);
  TempDir plain_dir, range_dir;
  c.write(plain_dir, one);
  c.write(range_dir, one);
  const std::vector<std::string> input = {c.inputs.size() > 1 ? c.inputs.front() : c.inputs[0]};
  ASSERT_EQ(RunKova(plain_dir.path(), Args({"convert", "-q"}, input)).code, 0);
  const KovaResult ranged = RunKova(
      range_dir.path(), Args({"convert", "--range", FloatText(low), FloatText(high)}, input));
  ASSERT_EQ(ranged.code, 0) << ranged.err;
  EXPECT_EQ(ranged.err, "");
  const std::string image = c.images.front();
  const auto bytes = ReadAllBytes(plain_dir.file(image));
  ASSERT_GT(bytes.size(), kHeaderSize);
  EXPECT_TRUE(bytes == ReadAllBytes(range_dir.file(image)));
}

INSTANTIATE_TEST_SUITE_P(Kinds, SeriesRange, ::testing::Values(kTarvo, kTiff, kNetCdf));

// A file of the series that cannot be read: without --keep-going the first
// pass stops before any image is made; with it the file is left out of the
// range and fails in its turn.
struct DamagedCase {
  const char* label;
  std::vector<std::string> options;
  int code;
  std::string err;
  std::vector<std::string> images;
};

void PrintTo(const DamagedCase& c, std::ostream* os) {
  *os << c.label;
}

class SeriesRangeDamaged : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(SeriesRangeDamaged, StopsOrLeavesTheFileOut) {
  const DamagedCase& c = GetParam();
  TempDir dir;
  WriteGrids(dir, {0, 40});
  WriteText(dir.file("rain_1.asc"),
            ReadText(dir.file("rain_1.asc")) + "7\n");  // one value too many
  const KovaResult result =
      RunKova(dir.path(), Args(Args({"convert", "--series-range"}, c.options), {"rain_*.asc"}));
  EXPECT_EQ(result.code, c.code);
  EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
  std::vector<std::string> images;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    if (entry.path().extension() == ".img") images.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(images, c.images);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, SeriesRangeDamaged,
    ::testing::Values(
        DamagedCase{"Stops",
                    {},
                    1,
                    "rain_1.asc\nkova: stopped at file 2 of 2 while finding the range of the "
                    "series; no image created\n",
                    {}},
        DamagedCase{"KeepGoing",
                    {"--keep-going", "-q"},
                    1,
                    "kova: 1 of 2 images created; 1 failed\n",
                    {"rain_0.img"}}));

// --- Clamping and refused ranges ------------------------------------------

struct RangeCase {
  const char* label;
  std::string min, max;
  int code;
  std::string err;  // COUNT: the cells outside, counted by the test
};

void PrintTo(const RangeCase& c, std::ostream* os) {
  *os << c.label;
}

class FixedRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(FixedRange, ClampsAndCountsOrRefuses) {
  const RangeCase& c = GetParam();
  TempDir dir;
  const Field field = SmallField();
  WriteTarvoGrid(dir.file("field.asc"), field);
  const KovaResult result = RunKova(dir.path(), {"convert", "--range", c.min, c.max, "field.asc"});
  EXPECT_EQ(result.code, c.code);
  if (c.code != 0) {
    EXPECT_EQ(result.err, c.err);
    EXPECT_FALSE(fs::exists(dir.file("field.img")));
    return;
  }
  // Each valid cell below MIN is code 0, above MAX 253; no data stays 254.
  const double low = std::stod(c.min), high = std::stod(c.max);
  const auto bytes = ReadAllBytes(dir.file("field.img"));
  ASSERT_EQ(bytes.size(), kHeaderSize + static_cast<std::size_t>(field.cols * field.rows));
  std::size_t outside = 0;
  for (int r = 0; r < field.rows; ++r) {
    for (int col = 0; col < field.cols; ++col) {
      const std::uint8_t code = bytes[kHeaderSize + static_cast<std::size_t>(r * field.cols + col)];
      if (field.missing(r, col)) {
        EXPECT_EQ(code, 254);
      } else if (field.at(r, col) < low || field.at(r, col) > high) {
        ++outside;
        EXPECT_EQ(code, field.at(r, col) < low ? 0 : 253) << r << " " << col;
      }
    }
  }
  std::string err = c.err;
  if (const auto at = err.find("COUNT"); at != std::string::npos) {
    err.replace(at, 5, std::to_string(outside));
  }
  EXPECT_EQ(result.err, err);
  EXPECT_EQ(result.out, "Image field.img created successfully; values coded from " + c.min +
                            " to " + c.max + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, FixedRange,
    ::testing::Values(
        RangeCase{"Inside", "-10", "300", 0, ""},
        RangeCase{"Clamped", "10", "200", 0,
                  "kova: field.asc: COUNT cells outside the range 10 to 200 coded as its nearer "
                  "end\n"},
        // The field's largest value, 250, in one cell.
        RangeCase{"OneCellAbove", "0", "249.5", 0,
                  "kova: field.asc: 1 cell outside the range 0 to 249.5 coded as its nearer end\n"},
        RangeCase{"Equal", "5", "5", 2,
                  "kova: --range needs MAX greater than MIN, not 5 and 5\n"
                  "kova: run 'kova help' for the commands and options\n"},
        RangeCase{"Reversed", "6", "5", 2,
                  "kova: --range needs MAX greater than MIN, not 6 and 5\n"
                  "kova: run 'kova help' for the commands and options\n"},
        // Equal once read as 4-byte floats, as grid values are read.
        RangeCase{"EqualAsFloats", "1", "1.00000001", 2,
                  "kova: --range needs MAX greater than MIN, not 1 and 1\n"
                  "kova: run 'kova help' for the commands and options\n"},
        RangeCase{"NotANumber", "0", "lots", 2,
                  "kova: --range MAX: 'lots' is not a valid floating point value\n"
                  "kova: run 'kova help' for the commands and options\n"}));

// --- The outlier warning --------------------------------------------------

// 60 x 40 values spread over 0..30, and a copy with one undeclared 9999.
struct OutlierRun {
  const char* label;
  int spike_at;  // -1: none
  std::vector<std::string> options;
  std::string err;
};

void PrintTo(const OutlierRun& c, std::ostream* os) {
  *os << c.label;
}

class OutlierWarning : public ::testing::TestWithParam<OutlierRun> {};

TEST_P(OutlierWarning, NamesTheValueAndLeavesTheImageAlone) {
  const OutlierRun& c = GetParam();
  Field field{60, 40, 10, 40, 0.5, 0.5, {}};
  for (int i = 0; i < 2400; ++i) field.values.push_back((i * 37 % 301) * 0.1);
  if (c.spike_at >= 0) field.values[static_cast<std::size_t>(c.spike_at)] = 9999;
  TempDir dir, quiet_dir;
  WriteTarvoGrid(dir.file("grid.asc"), field);
  WriteTarvoGrid(quiet_dir.file("grid.asc"), field);
  const KovaResult result = RunKova(dir.path(), Args({"convert"}, Args(c.options, {"grid.asc"})));
  ASSERT_EQ(result.code, 0);
  EXPECT_EQ(result.err, c.err);
  std::vector<std::string> quiet = {"convert", "-q"};
  for (const std::string& option : c.options) {
    if (option != "-q" && option != "-v") quiet.push_back(option);
  }
  quiet.push_back("grid.asc");
  ASSERT_EQ(RunKova(quiet_dir.path(), quiet).code, 0);
  EXPECT_TRUE(ReadAllBytes(dir.file("grid.img")) == ReadAllBytes(quiet_dir.file("grid.img")));
}

const std::string kSpikeWarning =
    "kova: warning: grid.asc: 2399 of 2400 valid values fall into 2 codes; the largest value 9999 "
    "(row 3, column 11) stretches the scale. If it marks missing cells, declare it as the file's "
    "no-data value; otherwise give --range MIN MAX\n";

INSTANTIATE_TEST_SUITE_P(
    Grids, OutlierWarning,
    ::testing::Values(OutlierRun{"EvenlySpread", -1, {}, ""},
                      OutlierRun{"OneUndeclared9999", 130, {}, kSpikeWarning},
                      OutlierRun{"VerboseToo", 130, {"-v"}, kSpikeWarning},
                      OutlierRun{"QuietSilences", 130, {"-q"}, ""},
                      // The range clamps it; nothing to warn of.
                      OutlierRun{"RangeGiven", 130, {"-q", "--range", "0", "30"}, ""}));

}  // namespace
}  // namespace kova::testing
