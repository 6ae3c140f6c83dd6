// GeoTIFF and NetCDF files through the built `kova convert`: what a user
// sees (exit code, standard output, standard error), which files the folder
// holds afterwards, and images that equal the same field converted from a
// Tarvo grid in every byte but the title. A refusal leaves the folder as it
// was.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>  // std::getenv of KOVA_KEEP_IMAGES
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/inputs/netcdf_classic_size.h"  // WithThousands
#include "conversion_test_util.h"
#include "image/format.h"
#include "image/real48.h"
#include "image/template_image.h"
#include "support/input_fixtures.h"
#include "support/kova_run.h"
#include "support/temp_dir.h"

namespace kova::testing {
namespace {

namespace fs = std::filesystem;

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
    // UTF-8, "/" between folders, as the cases write them.
    std::string name = Utf8Path(fs::relative(entry.path(), folder));
    std::replace(name.begin(), name.end(), '\\', '/');
    names.insert(name);
  }
  return names;
}

// With KOVA_KEEP_IMAGES set to a folder, every image a case made is copied
// into FOLDER/CASE/, so that the images of the builds for other systems can
// be compared with these to the byte (tests/windows/same_images.sh).
void KeepImages(const char* label, const fs::path& folder) {
  const char* keep = std::getenv("KOVA_KEEP_IMAGES");
  if (keep == nullptr || *keep == '\0') return;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().extension() != ".img") continue;
    const fs::path to = fs::path(keep) / label / fs::relative(entry.path(), folder);
    fs::create_directories(to.parent_path());
    fs::copy_file(entry.path(), to, fs::copy_options::overwrite_existing);
  }
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
  KeepImages(c.label, dir.path());

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

auto TarvoGrid(const std::string& name) {
  return [=](const TempDir& dir) { WriteTarvoGrid(dir.file(name), SmallField()); };
}

const auto kNoChange = [](auto&) {};
const std::string kRunHelp = "kova: run 'kova help' for the commands and options\n";

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
        // A folder whose name lies outside the code page of most systems
        // (the NetCDF library takes names in it only).
        InputCase{"InAFolderOfAnyName",
                  [](const TempDir& dir) {
                    const fs::path folder = FileSystemPath(dir.file("降水 été"));
                    fs::create_directory(folder);
                    NetCdf("rain.nc", kNoChange)(dir);
                    Tiff("field.tif", kNoChange)(dir);
                    for (const char* name : {"rain.nc", "field.tif"}) {
                      fs::rename(FileSystemPath(dir.file(name)), folder / name);
                    }
                  },
                  {"convert", "降水 été/rain.nc", "降水 été/field.tif"},
                  0,
                  "Number of images created: 2\n",
                  "",
                  {"降水 été", "降水 été/rain.nc", "降水 été/rain.img", "降水 été/field.tif",
                   "降水 été/field.img"},
                  {{"降水 été/rain.img"}, {"降水 été/field.img"}}},
        InputCase{"NetCdfVariableChosen",
                  NetCdf("two.nc", [](NetCdfLayout& l) { l.second_variable = true; }),
                  {"convert", "two.nc", "--variable", "snow"},
                  0,
                  "Image two_snow.img created successfully\n",
                  "",
                  {"two.nc", "two_snow.img"},
                  {{"two_snow.img"}}},
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
                  "Image levels_rain_level2.img created successfully\n",
                  "",
                  {"levels.nc", "levels_rain_level2.img"},
                  {{"levels_rain_level2.img", 2000}}},
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
                  2,
                  "",
                  "kova: The GeoTIFF has 1 band; there is no band 2: field.tif\n" + kRunHelp,
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
        // NAD83 / Conus Albers: its parallels and origin come from PROJ's
        // database alone.
        InputCase{"ProjectedGeoTiffByItsEpsgCode",
                  [](const TempDir& dir) {
                    WriteAlbersTemplate(dir.file("albers.img"));
                    Tiff(
                        "albers.tif",
                        [](TiffLayout& l) {
                          l = AlbersTiff();
                          l.epsg = 5070;
                        },
                        AlbersField())(dir);
                  },
                  {"convert", "albers.tif", "--template", "albers.img"},
                  1,
                  "",
                  "kova: The template albers.img has origin latitude 0, the input's projection "
                  "23: albers.tif\n",
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
                  {}},
        InputCase{"VariableImageIntoAFileAsTyped",
                  NetCdf("two.nc", [](NetCdfLayout& l) { l.second_variable = true; }),
                  {"convert", "two.nc", "--variable", "snow", "-o", "snow.img"},
                  0,
                  "Image snow.img created successfully\n",
                  "",
                  {"two.nc", "snow.img"},
                  {{"snow.img"}}},
        InputCase{"NulByteOfTheFileEscaped",
                  NetCdf("rain.nc",
                         [](NetCdfLayout& l) {
                           l.times = {0, 1};
                           l.time_units = std::string("days since 2024\0-01-01", 22);
                         }),
                  {"convert", "rain.nc"},
                  1,
                  "",
                  "kova: The time units 'days since 2024\\x00-01-01' cannot be read as a date: "
                  "rain.nc\n",
                  {"rain.nc"},
                  {}},

        // Options that would change nothing: usage errors naming what there is.
        InputCase{"BandOfATarvoGrid",
                  TarvoGrid("field.asc"),
                  {"convert", "field.asc", "--band", "2"},
                  2,
                  "",
                  "kova: --band chooses a band of a GeoTIFF file; field.asc is a Tarvo grid\n" +
                      kRunHelp,
                  {"field.asc"},
                  {}},
        InputCase{"VariableOfATarvoGrid",
                  TarvoGrid("field.asc"),
                  {"convert", "field.asc", "--variable", "rain"},
                  2,
                  "",
                  "kova: --variable chooses a variable of a NetCDF file; field.asc is a Tarvo "
                  "grid\n" +
                      kRunHelp,
                  {"field.asc"},
                  {}},
        InputCase{"BandOfANetCdfFile",
                  NetCdf("rain.nc", kNoChange),
                  {"convert", "rain.nc", "--band", "1"},
                  2,
                  "",
                  "kova: --band chooses a band of a GeoTIFF file; rain.nc is a NetCDF file\n" +
                      kRunHelp,
                  {"rain.nc"},
                  {}},
        InputCase{"IndexOfAGeoTiffInASeries",
                  [](const TempDir& dir) {
                    Tiff("a.tif", kNoChange)(dir);
                    TarvoGrid("b.asc")(dir);
                  },
                  {"convert", "a.tif", "b.asc", "--index", "level=1"},
                  2,
                  "",
                  "kova: --index chooses a dimension's index of a NetCDF file; none of the 2 "
                  "inputs is one\n" +
                      kRunHelp,
                  {"a.tif", "b.asc"},
                  {}},
        InputCase{"VariableNamingNone",
                  NetCdf("two.nc", [](NetCdfLayout& l) { l.second_variable = true; }),
                  {"convert", "two.nc", "--variable", "rainfall"},
                  2,
                  "",
                  "kova: The NetCDF file has no variable 'rainfall'; its variables on a "
                  "latitude/longitude grid: rain, snow: two.nc\n" +
                      kRunHelp,
                  {"two.nc"},
                  {}},
        InputCase{"IndexOfADimensionNotThere",
                  NetCdf("levels.nc",
                         [](NetCdfLayout& l) {
                           l.extra_dim = "level";
                           l.extra_length = 3;
                         }),
                  {"convert", "levels.nc", "--index", "lev=2"},
                  2,
                  "",
                  "kova: The variable 'rain' has no dimension 'lev' (--index); its dimensions "
                  "beside latitude and longitude: level: levels.nc\n" +
                      kRunHelp,
                  {"levels.nc"},
                  {}},
        InputCase{"IndexBeyondTheDimension",
                  NetCdf("levels.nc",
                         [](NetCdfLayout& l) {
                           l.extra_dim = "level";
                           l.extra_length = 3;
                         }),
                  {"convert", "levels.nc", "--index", "level=3"},
                  2,
                  "",
                  "kova: --index level=3 lies beyond the dimension's 3 indices (0 to 2): "
                  "levels.nc\n" +
                      kRunHelp,
                  {"levels.nc"},
                  {}}),
    [](const auto& info) { return std::string(info.param.label); });

// --- Files cut short: never an image, always a message -----------------------

struct CutCase {
  const char* label;
  const char* extension;
  std::function<void(const std::string&)> write;  // the whole file
  bool classic = false;                           // a classic NetCDF file: its cut sizes are told
  // The bytes at the end whose loss no reader can tell: a grid's line end,
  // and the last number's digits, which leave a smaller number behind.
  std::size_t undetectable_tail = 0;
};

void PrintTo(const CutCase& c, std::ostream* os) {
  *os << c.label;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(text.substr(at, end - at));
  }
  return lines;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class KovaConvertCutShort : public ::testing::TestWithParam<CutCase> {};

TEST_P(KovaConvertCutShort, EveryCutRefusedNamingTheFile) {
  const CutCase& c = GetParam();
  TempDir whole_dir, dir;
  const std::string whole = whole_dir.file(std::string("whole.") + c.extension);
  c.write(whole);
  const std::vector<std::uint8_t> bytes = ReadAllBytes(whole);
  const std::size_t size = bytes.size();
  // The download that stopped early: at a few bytes, at every share of the
  // file, one byte short.
  const std::size_t last = size - 1 - c.undetectable_tail;
  std::set<std::size_t> cuts = {8, last};
  for (const int percent : {1, 5, 10, 25, 50, 75, 90, 99}) {
    cuts.insert(std::min(size * percent / 100, last));
  }
  std::set<std::string> names;
  for (const std::size_t cut : cuts) {
    const std::string name = "cut_" + std::to_string(cut) + "." + c.extension;
    std::ofstream(dir.file(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(cut));
    names.insert(name);
  }
  const KovaResult result =
      RunKova(dir.path(), {"convert", "--keep-going", std::string("cut_*.") + c.extension});
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(FilesUnder(dir.path()), names);  // no image
  const std::vector<std::string> lines = Lines(result.err);
  ASSERT_EQ(lines.size(), cuts.size() + 1) << result.err;
  for (const std::size_t cut : cuts) {
    const std::string name = "cut_" + std::to_string(cut) + "." + c.extension;
    const auto line = std::find_if(lines.begin(), lines.end(),
                                   [&](const std::string& l) { return EndsWith(l, "/" + name); });
    ASSERT_NE(line, lines.end()) << name << " is not named:\n" << result.err;
    if (c.classic && cut * 2 == size) {
      EXPECT_EQ(*line, "kova: The NetCDF file is cut short: " + inputs::WithThousands(cut) +
                           " of the " + inputs::WithThousands(size) +
                           " bytes its header declares: " + dir.file(name));
    }
  }
  EXPECT_EQ(lines.back(), "kova: 0 of " + std::to_string(cuts.size()) + " images created; " +
                              std::to_string(cuts.size()) + " failed");
}

std::function<void(const std::string&)> NetCdfFile(
    const std::function<void(NetCdfLayout&)>& change) {
  return [=](const std::string& path) {
    NetCdfLayout layout;
    change(layout);
    WriteNetCdf(path, SmallField(), layout);
  };
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, KovaConvertCutShort,
    ::testing::Values(
        CutCase{"NetCdfClassic", "nc", NetCdfFile(kNoChange), true},
        CutCase{"NetCdfClassicRecords", "nc", NetCdfFile([](NetCdfLayout& l) {
                  l.times = {0, 1, 2};
                  l.record_time = true;
                }),
                true},
        CutCase{"NetCdfClassicPackedRecordsOfTwoVariables", "nc",
                NetCdfFile([](NetCdfLayout& l) { l = PackedRecordsOfTwoVariables(); }), true},
        CutCase{"NetCdf64BitDataRecords", "nc",
                NetCdfFile([](NetCdfLayout& l) { l = Cdf5Records(); }), true},
        CutCase{"NetCdf4Chunked", "nc",
                NetCdfFile([](NetCdfLayout& l) { l = NetCdf4ChunkedTimes(); })},
        CutCase{"GeoTiffStriped", "tif",
                [](const std::string& path) { WriteGeoTiff(path, SmallField(), {}); }},
        CutCase{"GeoTiffTiled", "tif",
                [](const std::string& path) {
                  TiffLayout layout;
                  layout.tiled = true;
                  layout.compression = COMPRESSION_ADOBE_DEFLATE;
                  WriteGeoTiff(path, SmallField(), layout);
                }},
        // Cut within its last value ("85 \n") a grid looks whole; cut before
        // it, one value is missing.
        CutCase{"TarvoGrid", "asc",
                [](const std::string& path) { WriteTarvoGrid(path, SmallField()); }, false, 5}),
    [](const auto& info) { return std::string(info.param.label); });

// --- Names and titles of one variable's images --------------------------------

std::string TitleOf(const std::string& image) {
  const std::vector<std::uint8_t> bytes = ReadAllBytes(image);
  if (bytes.size() < kHeaderSize) return {};
  const KovaHeader header = DecodeHeader(*reinterpret_cast<const HeaderBytes*>(bytes.data()));
  std::string title(header.Title.begin(), header.Title.end());
  while (!title.empty() && (title.back() == ' ' || title.back() == '\0')) title.pop_back();
  return title;
}

TEST(KovaConvertVariables, TwoVariablesIntoOneFolderLeaveBothSeries) {
  TempDir dir;
  fs::create_directory(dir.file("out"));
  NetCdf("two.nc", [](NetCdfLayout& l) {
    l.times = {0, 1};
    l.second_variable = true;
  })(dir);
  for (const char* variable : {"rain", "snow"}) {
    const KovaResult result =
        RunKova(dir.path(), {"convert", "two.nc", "--variable", variable, "-o", "out"});
    ASSERT_EQ(result.code, 0) << result.err;
  }
  EXPECT_EQ(FilesUnder(dir.path()),
            (std::set<std::string>{"two.nc", "out", "out/two_rain_20240101.img",
                                   "out/two_rain_20240102.img", "out/two_snow_20240101.img",
                                   "out/two_snow_20240102.img"}));
  EXPECT_NE(TitleOf(dir.file("out/two_snow_20240102.img")).find(" two.nc snow 20240102 by "),
            std::string::npos);
  EXPECT_NE(TitleOf(dir.file("out/two_rain_20240101.img")).find(" two.nc rain 20240101 by "),
            std::string::npos);
}

// --- Library faults ---------------------------------------------------------------

// Every damaged file on which the libraries crash, corrupt memory or hang,
// between two good grids: the series goes on, each damaged file ends with a
// message naming it, and the run ends in time.
TEST(KovaConvertLibraryFaults, SeriesGoesOnPastEveryFault) {
  TempDir dir;
  WriteTarvoGrid(dir.file("a.asc"), SmallField());
  WriteTarvoGrid(dir.file("z.asc"), SmallField());
  std::vector<std::string> args = {"convert", "--keep-going", "a.asc"};
  std::set<std::string> files = {"a.asc", "z.asc", "a.img", "z.img"};
  for (const auto& entry : fs::directory_iterator(KOVA_LIBRARY_FAULTS)) {
    if (entry.path().extension() != ".nc") continue;
    const std::string name = entry.path().filename().string();
    fs::copy_file(entry.path(), dir.file(name));
    args.push_back(name);
    files.insert(name);
  }
  args.push_back("z.asc");
  const std::size_t faults = args.size() - 4;
  ASSERT_GE(faults, 6u);

  const auto start = std::chrono::steady_clock::now();
  const KovaResult result = RunKova(dir.path(), args);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(FilesUnder(dir.path()), files);
  const std::vector<std::string> lines = Lines(result.err);
  ASSERT_EQ(lines.size(), faults + 1) << result.err;
  for (std::size_t i = 0; i < faults; ++i) {
    EXPECT_TRUE(EndsWith(lines[i], ": " + args[3 + i])) << lines[i];
  }
  EXPECT_EQ(lines.back(), "kova: 2 of " + std::to_string(faults + 2) + " images created; " +
                              std::to_string(faults) + " failed");
  // The hang is given up after its time limit, twice, and only then.
  EXPECT_LT(took, std::chrono::seconds(60));
}

// --- Nothing of the libraries on standard error ------------------------------

TEST(KovaConvertQuiet, NetCdf4SeriesOnTwoThreadsPrintsNothingOfTheLibraries) {
  TempDir dir;
  for (const char* name : {"s1.nc", "s2.nc", "s3.nc", "s4.nc"}) {
    NetCdf(name, [](NetCdfLayout& l) {
      l.netcdf4 = true;
      l.times = {0, 1, 2};
      l.second_variable = true;
    })(dir);
  }
  const KovaResult result =
      RunKova(dir.path(), {"convert", "--jobs", "2", "--variable", "rain", "s*.nc"});
  EXPECT_EQ(result.code, 0);
  EXPECT_EQ(result.out, "Number of images created: 12\n");
  EXPECT_EQ(result.err, "");
}

// Where the reader module lies for a copy of `kova` in DIR/bin: beside it,
// where an installation puts it (DIR/bin/KOVA_READER_MODULE_DIR), or nowhere.
// (Windows installs it beside the programs.)
enum class ModulePlace { kBeside, kInstalled, kNowhere };

#ifdef _WIN32
constexpr const char* kProgramName = "kova.exe";
constexpr const char* kModuleName = "kova_readers.dll";
#else
constexpr const char* kProgramName = "kova";
constexpr const char* kModuleName = "kova_readers.so";
#endif

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
  if (c.place == ModulePlace::kInstalled && std::string(KOVA_READER_MODULE_DIR).empty()) {
    GTEST_SKIP() << "installed beside the programs";
  }
  TempDir dir;
  const fs::path built = fs::path(KOVA_PROGRAM).parent_path();
  const fs::path bin = dir.path() / "bin";
  const fs::path installed = (bin / KOVA_READER_MODULE_DIR / kModuleName).lexically_normal();
  fs::create_directories(bin);
  fs::create_directory(dir.path() / "work");
  fs::copy_file(KOVA_PROGRAM, bin / kProgramName);
  fs::copy_file(built / "template.img", bin / "template.img");
  if (c.place != ModulePlace::kNowhere) {
    const fs::path module = c.place == ModulePlace::kBeside ? bin / kModuleName : installed;
    fs::create_directories(module.parent_path());
    fs::copy_file(built / kModuleName, module);
  }
  const std::string input = (dir.path() / "work" / c.input).string();
  const std::string kind = fs::path(input).extension().string();
  if (kind == ".asc") WriteTarvoGrid(input, SmallField());
  if (kind == ".tif") WriteGeoTiff(input, SmallField(), {});
  if (kind == ".nc") WriteNetCdf(input, SmallField(), {});

  const KovaResult result =
      RunKova(dir.path() / "work", {"convert", c.input}, {}, (bin / kProgramName).string());
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

#ifdef _WIN32
const std::string kNoModule =
    "kova: The GeoTIFF and NetCDF readers (kova_readers.dll) cannot be loaded: "
    "DIR\\kova_readers.dll: WINDOWS: ";
#else
const std::string kNoModule =
    "kova: The GeoTIFF and NetCDF readers (kova_readers.so) cannot be loaded: "
    "DIR/kova_readers.so: cannot open shared object file: No such file or directory; "
    "INSTALLED: cannot open shared object file: No such file or directory: ";
#endif

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
