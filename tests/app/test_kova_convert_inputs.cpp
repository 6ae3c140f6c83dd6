// GeoTIFF and NetCDF files through the built `kova convert`: what a user
// sees (exit code, standard output, standard error), which files the folder
// holds afterwards, and images that equal the same field converted from a
// Tarvo grid in every byte but the title. A refusal leaves the folder as it
// was.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "image/format.h"
#include "image/real48.h"
#include "image/template_image.h"
#include "kova_run.h"
#include "support/input_fixtures.h"
#include "support/temp_dir.h"

namespace kova::testing {
namespace {

namespace fs = std::filesystem;

// An image whose title is blanked: the title names the input file, which
// differs between the kinds.
std::vector<std::uint8_t> Untitled(std::vector<std::uint8_t> bytes) {
  if (bytes.size() < kHeaderSize) return bytes;
  KovaHeader header = DecodeHeader(*reinterpret_cast<const HeaderBytes*>(bytes.data()));
  header.Title.fill(' ');
  const HeaderBytes encoded = EncodeHeader(header);
  std::copy(encoded.begin(), encoded.end(), bytes.begin());
  return bytes;
}

// SmallField in metres of an Albers map.
Field AlbersField() {
  Field field = SmallField();
  field.left = -200000;
  field.bottom = 100000;
  field.cell_width = field.cell_height = 5000;
  return field;
}

TiffLayout AlbersTiff() {
  TiffLayout layout;
  layout.model = ModelTypeProjected;
  layout.std_parallel1 = 29.5;
  layout.std_parallel2 = 45.5;
  return layout;
}

// An image the run must make, and the Tarvo grid it must equal: the field
// plus `offset` in every cell (the time step or level of a NetCDF file).
struct SameAsGrid {
  std::string image;
  double offset = 0;
  bool albers = false;  // the field in Albers metres, converted on albers.img
};

struct InputCase {
  const char* label;
  std::function<void(const TempDir&)> write;  // the inputs, into the folder
  std::vector<std::string> args;
  int code;
  std::string out;                 // DIR: the folder
  std::string err;                 // DIR: the folder
  std::set<std::string> files;     // the whole folder afterwards
  std::vector<SameAsGrid> images;  // compared with the Tarvo grid's image
};

void PrintTo(const InputCase& c, std::ostream* os) {
  *os << c.label;
}

std::string InFolder(std::string text, const fs::path& folder) {
  for (std::size_t at; (at = text.find("DIR")) != std::string::npos;) {
    text.replace(at, 3, folder.string());
  }
  return text;
}

std::set<std::string> FilesUnder(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.insert(fs::relative(entry.path(), folder).string());
  }
  return names;
}

class KovaConvertInputKinds : public ::testing::TestWithParam<InputCase> {};

TEST_P(KovaConvertInputKinds, AsAUserSeesIt) {
  const InputCase& c = GetParam();
  TempDir dir;
  c.write(dir);
  const KovaResult result = RunKova(dir.path(), c.args);
  EXPECT_EQ(result.code, c.code);
  EXPECT_EQ(result.out, InFolder(c.out, dir.path()));
  EXPECT_EQ(result.err, InFolder(c.err, dir.path()));
  EXPECT_EQ(FilesUnder(dir.path()), c.files);

  for (const SameAsGrid& same : c.images) {
    TempDir grid_dir;
    Field field = same.albers ? AlbersField() : SmallField();
    for (double& v : field.values) v += same.offset;
    WriteTarvoGrid(grid_dir.file("field.asc"), field);
    std::vector<std::string> args = {"convert", "field.asc", "-o", "field.img"};
    if (same.albers) {
      WriteAlbersTemplate(grid_dir.file("albers.img"));
      args.insert(args.end(), {"--template", "albers.img"});
    }
    const KovaResult grid_run = RunKova(grid_dir.path(), args);
    ASSERT_EQ(grid_run.code, 0) << grid_run.err;
    const auto expected = ReadAllBytes(grid_dir.file("field.img"));
    const auto got = ReadAllBytes(dir.file(same.image));
    ASSERT_GT(expected.size(), kHeaderSize);
    EXPECT_TRUE(Untitled(got) == Untitled(expected)) << same.image;
  }
}

auto Tiff(const std::string& name, const std::function<void(TiffLayout&)>& change,
          const Field& field = SmallField()) {
  return [=](const TempDir& dir) {
    TiffLayout layout;
    change(layout);
    WriteGeoTiff(dir.file(name), field, layout);
  };
}

auto NetCdf(const std::string& name, const std::function<void(NetCdfLayout&)>& change) {
  return [=](const TempDir& dir) {
    NetCdfLayout layout;
    change(layout);
    WriteNetCdf(dir.file(name), SmallField(), layout);
  };
}

const auto kNoChange = [](auto&) {};

INSTANTIATE_TEST_SUITE_P(
    Inputs, KovaConvertInputKinds,
    ::testing::Values(
        InputCase{"GeoTiffGeographicFloatWithNoDataTag",
                  Tiff("field.tif",
                       [](TiffLayout& l) {
                         l.no_data = "-9999";
                         l.compression = COMPRESSION_ADOBE_DEFLATE;
                       }),
                  {"convert", "field.tif"},
                  0,
                  "Image field.img created successfully\n",
                  "",
                  {"field.tif", "field.img"},
                  {{"field.img"}}},
        InputCase{"GeoTiffSecondBand",
                  Tiff("field.tif",
                       [](TiffLayout& l) {
                         l.sample = Sample::kUInt8;
                         l.no_data = "255";
                         l.hole_value = 255;
                         l.bands = 2;
                         l.band = 2;
                         l.tiled = true;
                       }),
                  {"convert", "--band", "2", "field.tif", "-o", "b2.img"},
                  0,
                  "Image b2.img created successfully\n",
                  "",
                  {"field.tif", "b2.img"},
                  {{"b2.img"}}},
        InputCase{"NetCdfTimeStepsIntoFolder",
                  [](const TempDir& dir) {
                    fs::create_directory(dir.file("out"));
                    NetCdf("rain.nc", [](NetCdfLayout& l) { l.times = {0, 1, 31}; })(dir);
                  },
                  {"convert", "rain.nc", "-o", "out"},
                  0,
                  "Number of images created: 3\n",
                  "",
                  {"rain.nc", "out", "out/rain_20240101.img", "out/rain_20240102.img",
                   "out/rain_20240201.img"},
                  {{"out/rain_20240101.img", 0}, {"out/rain_20240201.img", 2000}}},
        // One time step chosen is one image: -o names it as typed.
        InputCase{"OneTimeStepIntoAFile",
                  NetCdf("rain.nc", [](NetCdfLayout& l) { l.times = {0, 1, 31}; }),
                  {"convert", "rain.nc", "--index", "time=2", "-o", "r.img"},
                  0,
                  "Image r.img created successfully\n",
                  "",
                  {"rain.nc", "r.img"},
                  {{"r.img", 2000}}},
        InputCase{"NetCdfVariableChosen",
                  NetCdf("two.nc", [](NetCdfLayout& l) { l.second_variable = true; }),
                  {"convert", "two.nc", "--variable", "snow"},
                  0,
                  "Image two.img created successfully\n",
                  "",
                  {"two.nc", "two.img"},
                  {{"two.img"}}},
        InputCase{"NetCdfLevelChosenByIndex",
                  NetCdf("levels.nc",
                         [](NetCdfLayout& l) {
                           l.netcdf4 = true;
                           l.extra_dim = "level";
                           l.extra_length = 3;
                           l.fill = -9999;
                         }),
                  {"convert", "levels.nc", "--index", "level=2"},
                  0,
                  "Image levels.img created successfully\n",
                  "",
                  {"levels.nc", "levels.img"},
                  {{"levels.img", 2000}}},
        InputCase{"ProjectedGeoTiffOnMatchingTemplate",
                  [](const TempDir& dir) {
                    WriteAlbersTemplate(dir.file("albers.img"));
                    Tiff(
                        "albers.tif", [](TiffLayout& l) { l = AlbersTiff(); }, AlbersField())(dir);
                  },
                  {"convert", "albers.tif", "--template", "albers.img", "-o", "map.img"},
                  0,
                  "Image map.img created successfully\n",
                  "",
                  {"albers.tif", "albers.img", "map.img"},
                  {{"map.img", 0, true}}},

        // Refusals: nothing written.
        InputCase{"RotatedGeoTiff",
                  Tiff("turned.tif",
                       [](TiffLayout& l) {
                         l.transformation = true;
                         l.rotation = 0.01;
                       }),
                  {"convert", "turned.tif"},
                  1,
                  "",
                  "kova: The GeoTIFF is rotated or sheared (its ModelTransformation turns rows "
                  "against the map axes); only north-up grids convert: turned.tif\n",
                  {"turned.tif"},
                  {}},
        InputCase{"BandBeyondTheFile",
                  Tiff("field.tif", kNoChange),
                  {"convert", "field.tif", "--band", "2"},
                  1,
                  "",
                  "kova: The GeoTIFF has 1 band; there is no band 2: field.tif\n",
                  {"field.tif"},
                  {}},
        InputCase{"ProjectedGeoTiffOnTheDefaultTemplate",
                  Tiff(
                      "albers.tif", [](TiffLayout& l) { l = AlbersTiff(); }, AlbersField()),
                  {"convert", "albers.tif"},
                  1,
                  "",
                  "kova: The input has projected coordinates (Albers equal-area conic); give "
                  "--template with a Kova image of that projection: albers.tif\n",
                  {"albers.tif"},
                  {}},
        InputCase{"ProjectedGeoTiffOnOtherParallels",
                  [](const TempDir& dir) {
                    WriteAlbersTemplate(dir.file("albers.img"));
                    Tiff(
                        "albers.tif",
                        [](TiffLayout& l) {
                          l = AlbersTiff();
                          l.std_parallel2 = 50;
                        },
                        AlbersField())(dir);
                  },
                  {"convert", "albers.tif", "--template", "albers.img"},
                  1,
                  "",
                  "kova: The template albers.img has second standard parallel 45.5, the "
                  "input's projection 50: albers.tif\n",
                  {"albers.tif", "albers.img"},
                  {}},
        InputCase{"TwoCandidateVariables",
                  NetCdf("two.nc", [](NetCdfLayout& l) { l.second_variable = true; }),
                  {"convert", "two.nc"},
                  1,
                  "",
                  "kova: The NetCDF file has several variables with latitude and longitude "
                  "dimensions (rain, snow); choose one with --variable: two.nc\n",
                  {"two.nc"},
                  {}},
        InputCase{"IrregularLatitudes",
                  NetCdf("uneven.nc", [](NetCdfLayout& l) { l.lat_jitter = 0.01; }),
                  {"convert", "uneven.nc"},
                  1,
                  "",
                  "kova: The latitude coordinate 'y' is not regular: its largest deviation from "
                  "an even spacing of -0.25 is 0.01 at index 9 (value 42.385): uneven.nc\n",
                  {"uneven.nc"},
                  {}},
        InputCase{"LevelWithoutIndex",
                  NetCdf("levels.nc",
                         [](NetCdfLayout& l) {
                           l.extra_dim = "level";
                           l.extra_length = 3;
                         }),
                  {"convert", "levels.nc"},
                  1,
                  "",
                  "kova: The variable 'rain' has the dimension 'level' (3 indices) beside "
                  "latitude, longitude and time; choose one with --index level=N: levels.nc\n",
                  {"levels.nc"},
                  {}},
        InputCase{"DamagedGeoTiff",
                  [](const TempDir& dir) {
                    Tiff("cut.tif", kNoChange)(dir);
                    fs::resize_file(dir.file("cut.tif"), 300);
                  },
                  {"convert", "cut.tif"},
                  1,
                  "",
                  "kova: The GeoTIFF cannot be read (open: TIFFFetchDirectory: cut.tif: Can not read "
                  "TIFF directory count): cut.tif\n",
                  {"cut.tif"},
                  {}},
        InputCase{"TimeStepsWithoutAFolder",
                  NetCdf("rain.nc",
                         [](NetCdfLayout& l) {
                           l.times = {0, 1};
                         }),
                  {"convert", "rain.nc", "-o", "rain.img"},
                  1,
                  "",
                  "kova: The time steps need a folder for their images; rain.img is not one: "
                  "rain.nc\n",
                  {"rain.nc"},
                  {}}),
    [](const auto& info) { return std::string(info.param.label); });

// Where the reader module lies for a copy of `kova` in DIR/bin: beside it,
// where an installation puts it (DIR/bin/KOVA_READER_MODULE_DIR), or nowhere.
enum class ModulePlace { kBeside, kInstalled, kNowhere };

struct ModuleCase {
  const char* label;
  ModulePlace place;
  const char* input;  // field.asc, field.tif or field.nc
  int code;
  std::string err;  // DIR: the copy's folder; INSTALLED: the installed module
};

void PrintTo(const ModuleCase& c, std::ostream* os) {
  *os << c.label;
}

class KovaReaderModule : public ::testing::TestWithParam<ModuleCase> {};

TEST_P(KovaReaderModule, LoadedWhenAGeoTiffOrNetCdfInputNeedsIt) {
  const ModuleCase& c = GetParam();
  TempDir dir;
  const fs::path built = fs::path(KOVA_PROGRAM).parent_path();
  const fs::path bin = dir.path() / "bin";
  const fs::path installed = (bin / KOVA_READER_MODULE_DIR / "kova_readers.so").lexically_normal();
  fs::create_directories(bin);
  fs::create_directory(dir.path() / "work");
  fs::copy_file(KOVA_PROGRAM, bin / "kova");
  fs::copy_file(built / "template.img", bin / "template.img");
  if (c.place != ModulePlace::kNowhere) {
    const fs::path module = c.place == ModulePlace::kBeside ? bin / "kova_readers.so" : installed;
    fs::create_directories(module.parent_path());
    fs::copy_file(built / "kova_readers.so", module);
  }
  const std::string input = (dir.path() / "work" / c.input).string();
  const std::string kind = fs::path(input).extension().string();
  if (kind == ".asc") WriteTarvoGrid(input, SmallField());
  if (kind == ".tif") WriteGeoTiff(input, SmallField(), {});
  if (kind == ".nc") WriteNetCdf(input, SmallField(), {});

  const KovaResult result =
      RunKova(dir.path() / "work", {"convert", c.input}, {}, (bin / "kova").string());
  std::string err = InFolder(c.err, bin);
  for (std::size_t at; (at = err.find("INSTALLED")) != std::string::npos;) {
    err.replace(at, 9, installed.string());
  }
  EXPECT_EQ(result.code, c.code);
  EXPECT_EQ(result.out, c.code == 0 ? "Image field.img created successfully\n" : "");
  EXPECT_EQ(result.err, err);
  std::set<std::string> files = {c.input};
  if (c.code == 0) files.insert("field.img");
  EXPECT_EQ(FilesUnder(dir.path() / "work"), files);
}

const std::string kNoModule =
    "kova: The GeoTIFF and NetCDF readers (kova_readers.so) cannot be loaded: "
    "DIR/kova_readers.so: cannot open shared object file: No such file or directory; "
    "INSTALLED: cannot open shared object file: No such file or directory: ";

INSTANTIATE_TEST_SUITE_P(
    Places, KovaReaderModule,
    ::testing::Values(
        ModuleCase{"GeoTiffWithModuleBeside", ModulePlace::kBeside, "field.tif", 0, ""},
        ModuleCase{"NetCdfWithModuleBeside", ModulePlace::kBeside, "field.nc", 0, ""},
        ModuleCase{"GeoTiffWithModuleInstalled", ModulePlace::kInstalled, "field.tif", 0, ""},
        ModuleCase{"TarvoGridWithoutModule", ModulePlace::kNowhere, "field.asc", 0, ""},
        ModuleCase{"GeoTiffWithoutModule", ModulePlace::kNowhere, "field.tif", 1,
                   kNoModule + "field.tif\n"},
        ModuleCase{"NetCdfWithoutModule", ModulePlace::kNowhere, "field.nc", 1,
                   kNoModule + "field.nc\n"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kova::testing
