// `kova export IMAGE -o FILE.tif` through the built program: the GeoTIFF as
// other programs see it (libgeotiff's listgeo for the GeoKeys, the tiepoint
// and the corners it projects, libtiff's tiffdump for the tags), its values
// read with libtiff, and the GeoTIFF converted again; Hammer, geostationary
// and Goode images refused without a file.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/conversion.h"
#include "support/input_fixtures.h"
#include "support/kova_run.h"

namespace kova::testing {
namespace {

namespace fs = std::filesystem;

// The standard output of a shell command.
std::string Output(const std::string& command) {
  std::string text;
  if (std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      text.append(buffer, n);
    ::pclose(pipe);
  }
  return text;
}

bool HaveTool(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// The numbers listgeo prints on the lines after `tag`.
std::vector<double> TagNumbers(const std::string& listing, const std::string& tag, int lines) {
  std::vector<double> numbers;
  std::size_t at = listing.find(tag);
  if (at == std::string::npos) return numbers;
  at = listing.find('\n', at) + 1;
  for (int line = 0; line < lines; ++line) {
    const std::size_t end = listing.find('\n', at);
    std::istringstream words(listing.substr(at, end - at));
    for (double v; words >> v;) numbers.push_back(v);
    at = end + 1;
  }
  return numbers;
}

// Longitude and latitude of a corner line of listgeo, "Lower Right (...)
// (107d32'42.51"W, 23d14'54.70"N)", in degrees.
std::pair<double, double> CornerDegrees(const std::string& listing, const std::string& corner) {
  const std::regex pattern(
      corner +
      R"re([^\n]*\(\s*(\d+)d\s*(\d+)'\s*([\d.]+)"([EW]),\s*(\d+)d\s*(\d+)'\s*([\d.]+)"([NS])\))re");
  std::smatch m;
  if (!std::regex_search(listing, m, pattern)) return {NAN, NAN};
  const auto dms = [&](int i) {
    const double v = std::stod(m[i]) + std::stod(m[i + 1]) / 60 + std::stod(m[i + 2]) / 3600;
    return m[i + 3] == "W" || m[i + 3] == "S" ? -v : v;
  };
  return {dms(1), dms(5)};
}

// The samples of a one-band striped TIFF, row by row, as libtiff reads them.
template <typename Sample>
std::vector<Sample> TiffSamples(const std::string& path, std::uint32_t& cols, std::uint32_t& rows) {
  kova::inputs::RegisterTiffTags();  // its GeoTIFF tags known, so no warnings
  std::vector<Sample> samples;
  if (TIFF* tif = TIFFOpen(path.c_str(), "r")) {
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &cols);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &rows);
    samples.resize(static_cast<std::size_t>(cols) * rows);
    for (std::uint32_t r = 0; r < rows; ++r) TIFFReadScanline(tif, samples.data() + r * cols, r);
    TIFFClose(tif);
  }
  return samples;
}

struct ExportCase {
  const char* label;
  std::vector<std::string> template_args;  // kova template ... -o t.img
  Field field;
  double metres_per_unit;         // of the grid's map units in the GeoTIFF
  std::vector<std::string> keys;  // lines listgeo must print
};

void PrintTo(const ExportCase& c, std::ostream* os) {
  *os << c.label;
}

// SmallField with its corner and cell size in other map units.
Field FieldAt(double left, double bottom, double cell) {
  Field field = SmallField();
  field.left = left;
  field.bottom = bottom;
  field.cell_width = field.cell_height = cell;
  return field;
}

// a.img in `dir`: the field as grid.asc converted on the template t.img that
// `kova template` makes with `template_args`.
void MakeImage(const TempDir& dir, std::vector<std::string> template_args, const Field& field) {
  template_args.insert(template_args.begin(), {"template", "-o", "t.img"});
  ASSERT_EQ(RunKova(dir.path(), template_args).code, 0);
  WriteTarvoGrid(dir.file("grid.asc"), field);
  const std::vector<std::string> convert = {"convert",  "-q", "--template", "t.img",
                                            "grid.asc", "-o", "a.img"};
  ASSERT_EQ(RunKova(dir.path(), convert).code, 0);
}

class GeoTiffExport : public ::testing::TestWithParam<ExportCase> {};

TEST_P(GeoTiffExport, PlacedRightAndConvertedBackToTheSameImage) {
  if (!HaveTool("listgeo") || !HaveTool("tiffdump")) GTEST_SKIP() << "listgeo or tiffdump missing";
  const ExportCase& c = GetParam();
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(MakeImage(dir, c.template_args, c.field));

  const KovaResult exported = RunKova(dir.path(), {"export", "a.img", "-o", "a.tif"});
  ASSERT_EQ(exported.code, 0) << exported.err;
  EXPECT_EQ(exported.out, "a.tif\n");
  EXPECT_EQ(exported.err, "");

  // The GeoKeys and the georeference as libgeotiff lists them.
  const std::string listing = Output("listgeo " + ShellQuoted(dir.file("a.tif")));
  for (const std::string& key : c.keys)
    EXPECT_NE(listing.find(key), std::string::npos) << key << "\n" << listing;
  const double top = c.field.bottom + c.field.rows * c.field.cell_height;
  const std::vector<double> tiepoint = TagNumbers(listing, "ModelTiepointTag (2,3):", 2);
  const std::vector<double> expected_tiepoint = {
      0, 0, 0, c.field.left * c.metres_per_unit, top * c.metres_per_unit, 0};
  ASSERT_EQ(tiepoint.size(), 6u) << listing;
  for (int i = 0; i < 6; ++i)
    EXPECT_NEAR(tiepoint[i], expected_tiepoint[i], 1e-6 * (1 + std::fabs(expected_tiepoint[i])))
        << i;
  const std::vector<double> scale = TagNumbers(listing, "ModelPixelScaleTag (1,3):", 1);
  ASSERT_EQ(scale.size(), 3u) << listing;
  EXPECT_DOUBLE_EQ(scale[0], c.field.cell_width * c.metres_per_unit);
  EXPECT_DOUBLE_EQ(scale[1], c.field.cell_height * c.metres_per_unit);
  // The lower-right corner as libgeotiff projects it is where the image
  // puts its last pixel position.
  const auto corner = CornerDegrees(listing, "Lower Right");
  const KovaResult located = RunKova(
      dir.path(),
      {"locate", "a.img", std::to_string(c.field.cols - 1), std::to_string(c.field.rows - 1)});
  ASSERT_EQ(located.code, 0) << located.err;
  double lon = 0, lat = 0;
  ASSERT_EQ(std::sscanf(located.out.c_str(), "%lf %lf", &lon, &lat), 2) << located.out;
  EXPECT_NEAR(corner.first, lon, 1e-4) << listing;
  EXPECT_NEAR(corner.second, lat, 1e-4) << listing;

  // The tags as libtiff dumps them: deflate, 32-bit floats, the no-data tag.
  const std::string dump = Output("tiffdump " + ShellQuoted(dir.file("a.tif")));
  EXPECT_NE(dump.find("Compression (259) SHORT (3) 1<8>"), std::string::npos) << dump;
  EXPECT_NE(dump.find("BitsPerSample (258) SHORT (3) 1<32>"), std::string::npos) << dump;
  EXPECT_NE(dump.find("SampleFormat (339) SHORT (3) 1<3>"), std::string::npos) << dump;
  EXPECT_TRUE(std::regex_search(dump, std::regex(R"(42113\)? ASCII \(2\) 6<-9999)"))) << dump;

  // Each value within half a scale step of the grid's; no data in place.
  const RawImage image = ReadRawImage(dir.file("a.img"));
  const double step = image.ScaleFactor();
  std::uint32_t cols = 0, rows = 0;
  const std::vector<float> values = TiffSamples<float>(dir.file("a.tif"), cols, rows);
  ASSERT_EQ(cols, static_cast<std::uint32_t>(c.field.cols));
  ASSERT_EQ(rows, static_cast<std::uint32_t>(c.field.rows));
  for (int r = 0; r < c.field.rows; ++r) {
    for (int col = 0; col < c.field.cols; ++col) {
      const float got = values[static_cast<std::size_t>(r * c.field.cols + col)];
      if (c.field.missing(r, col)) {
        EXPECT_EQ(got, -9999.0f) << r << " " << col;
      } else {
        // Half a step, and the rounding of the decoded value to a float.
        const double ulp = std::nextafter(std::fabs(got), INFINITY) - std::fabs(got);
        EXPECT_LE(std::fabs(got - c.field.at(r, col)), step / 2 + ulp) << r << " " << col;
      }
    }
  }

  // Converted again: the same image but for the title naming its input.
  ASSERT_EQ(
      RunKova(dir.path(), {"convert", "-q", "--template", "t.img", "a.tif", "-o", "b.img"}).code,
      0);
  EXPECT_TRUE(Untitled(ReadAllBytes(dir.file("b.img"))) == Untitled(image.bytes));

  // The codes themselves, the no-data code in the tag.
  ASSERT_EQ(RunKova(dir.path(), {"export", "a.img", "--format", "geotiff", "--codes"}).code, 0);
  EXPECT_TRUE(TiffSamples<std::uint8_t>(dir.file("a.tif"), cols, rows) ==
              std::vector<std::uint8_t>(image.bytes.begin() + kHeaderSize, image.bytes.end()));
  EXPECT_TRUE(std::regex_search(Output("tiffdump " + ShellQuoted(dir.file("a.tif"))),
                                std::regex(R"(42113\)? ASCII \(2\) 4<254)")));
}

const std::vector<std::string> kClarke1866 = {
    "GeographicTypeGeoKey (Short,1): User-Defined",
    "GeogSemiMajorAxisGeoKey (Double,1): 6378206.4",
    // 1 / (1 - sqrt(1 - e^2)) for e = 0.08227185.
    "GeogInvFlatteningGeoKey (Double,1): 294.9787285",
    "ProjectedCSTypeGeoKey (Short,1): User-Defined",
    "ProjLinearUnitsGeoKey (Short,1): Linear_Meter",
};

std::vector<std::string> With(std::vector<std::string> keys, const std::vector<std::string>& more) {
  keys.insert(keys.end(), more.begin(), more.end());
  return keys;
}

INSTANTIATE_TEST_SUITE_P(
    Projections, GeoTiffExport,
    ::testing::Values(
        ExportCase{"LatitudeLongitude",
                   {"--projection", "latlon"},
                   SmallField(),
                   1.0,
                   {"GTModelTypeGeoKey (Short,1): ModelTypeGeographic",
                    "GTRasterTypeGeoKey (Short,1): RasterPixelIsArea",
                    "GeographicTypeGeoKey (Short,1): GCS_WGS_84"}},
        ExportCase{"Albers",
                   {"--projection", "albers", "--origin-lat", "23", "--origin-lon", "-96",
                    "--parallel1", "29.5", "--parallel2", "45.5"},
                   FieldAt(-1500000, 100000, 10000),
                   1.0,
                   With(kClarke1866, {"GTModelTypeGeoKey (Short,1): ModelTypeProjected",
                                      "ProjCoordTransGeoKey (Short,1): CT_AlbersEqualArea",
                                      "ProjStdParallel1GeoKey (Double,1): 29.5 ",
                                      "ProjStdParallel2GeoKey (Double,1): 45.5 ",
                                      "ProjNatOriginLatGeoKey (Double,1): 23 ",
                                      "ProjNatOriginLongGeoKey (Double,1): -96 ",
                                      "ProjFalseEastingGeoKey (Double,1): 0 "})},
        // Kilometres in the image, metres in the GeoTIFF.
        ExportCase{"LambertConformalConic",
                   {"--projection", "lambert-conic", "--origin-lat", "50", "--origin-lon", "10",
                    "--parallel1", "40", "--parallel2", "60"},
                   FieldAt(-1000, -600, 10),
                   1000.0,
                   With(kClarke1866, {"ProjCoordTransGeoKey (Short,1): CT_LambertConfConic_2SP",
                                      "ProjStdParallel1GeoKey (Double,1): 40 ",
                                      "ProjStdParallel2GeoKey (Double,1): 60 ",
                                      "ProjFalseOriginLatGeoKey (Double,1): 50 ",
                                      "ProjFalseOriginLongGeoKey (Double,1): 10 "})},
        ExportCase{
            "LambertAzimuthal",
            {"--projection", "lambert-azimuthal", "--origin-lat", "52", "--origin-lon", "10"},
            FieldAt(-200000, -200000, 20000),
            1.0,
            {"ProjCoordTransGeoKey (Short,1): CT_LambertAzimEqualArea",
             "ProjCenterLatGeoKey (Double,1): 52 ", "ProjCenterLongGeoKey (Double,1): 10 ",
             "GeogSemiMajorAxisGeoKey (Double,1): 6370997 ",
             "GeogSemiMinorAxisGeoKey (Double,1): 6370997 "}}));

struct RefusedCase {
  const char* label;
  std::vector<std::string> template_args;
  Field field;
  std::string name;  // of the projection in the message
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
  *os << c.label;
}

class GeoTiffRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(GeoTiffRefused, ExitOneAndNoFile) {
  const RefusedCase& c = GetParam();
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(MakeImage(dir, c.template_args, c.field));
  const KovaResult result = RunKova(dir.path(), {"export", "a.img", "-o", "a.tif"});
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "kova: The image a.img is in the " + c.name +
                            " projection, which has no GeoTIFF projection code; it can be exported "
                            "as a Tarvo grid (.asc) only\n");
  EXPECT_EQ(FileNames(dir.path()), (std::vector<std::string>{"a.img", "grid.asc", "t.img"}));
}

INSTANTIATE_TEST_SUITE_P(Projections, GeoTiffRefused,
                         ::testing::Values(RefusedCase{"Hammer",
                                                       {"--projection", "hammer"},
                                                       FieldAt(-0.4, 0, 0.005),
                                                       "Hammer equal-area"},
                                           RefusedCase{"Geostationary",
                                                       {"--projection", "geostationary"},
                                                       FieldAt(-8, -8, 0.08),
                                                       "geostationary view"},
                                           RefusedCase{"Goode",
                                                       {"--projection", "goode"},
                                                       FieldAt(-200000, 0, 10000),
                                                       "Goode homolosine (interrupted, sphere)"}));

}  // namespace
}  // namespace kova::testing
