// The size a classic NetCDF file's header declares: the size of the file the
// library writes, for fixed and record variables, padded and not, in each
// classic format (but for the padding behind the last value, which holds
// nothing); any shorter file is refused before it is read.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>

#include "app/inputs/netcdf_classic_size.h"
#include "app/platform/base/errors.h"
#include "support/input_fixtures.h"
#include "support/temp_dir.h"

namespace kova::inputs {
namespace {

using kova::testing::Field;
using kova::testing::NetCdfLayout;
using kova::testing::TempDir;

struct ClassicCase {
  const char* name;
  NetCdfLayout layout;
  int cols = 20, rows = 18;   // of the field
  std::uint64_t padding = 0;  // behind the last value
};
void PrintTo(const ClassicCase& c, std::ostream* os) {
  *os << c.name;
}

Field FieldOf(const ClassicCase& c) {
  Field field = kova::testing::SmallField();
  field.cols = c.cols;
  field.rows = c.rows;
  field.values.resize(static_cast<std::size_t>(c.cols * c.rows), 7.0);
  return field;
}

std::string CutCopy(const std::string& whole, std::size_t bytes, const std::string& to) {
  std::ifstream in(whole, std::ios::binary);
  std::string data(bytes, '\0');
  in.read(data.data(), static_cast<std::streamsize>(bytes));
  std::ofstream(to, std::ios::binary).write(data.data(), static_cast<std::streamsize>(bytes));
  return to;
}

class ClassicSizes : public ::testing::TestWithParam<ClassicCase> {};

TEST_P(ClassicSizes, DeclaredIsWhatTheLibraryWrote) {
  TempDir dir;
  const std::string path = dir.file("whole.nc");
  kova::testing::WriteNetCdf(path, FieldOf(GetParam()), GetParam().layout);
  const std::uint64_t size = std::filesystem::file_size(path);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  const std::optional<ClassicLayout> layout = ReadClassicLayout(file);
  std::fclose(file);
  ASSERT_TRUE(layout.has_value());
  EXPECT_TRUE(layout->header_complete);
  const std::uint64_t declared = layout->declared_bytes;
  EXPECT_LE(declared, size);
  EXPECT_EQ(size - declared, GetParam().padding);
  EXPECT_NO_THROW(CheckClassicNetCdfSize(path));
  EXPECT_NO_THROW(CheckClassicNetCdfSize(CutCopy(path, declared, dir.file("unpadded.nc"))));

  // Cut within the header, and at many points after it: each refused.
  const std::uint64_t header = layout->header_bytes;
  for (std::uint64_t cut = 0; cut < declared; cut += std::max<std::uint64_t>(1, size / 97)) {
    const std::string cut_path = CutCopy(path, cut, dir.file("cut.nc"));
    SCOPED_TRACE("cut at " + std::to_string(cut) + " of " + std::to_string(size));
    try {
      CheckClassicNetCdfSize(cut_path);
      if (cut >= 4) ADD_FAILURE() << "not refused";  // fewer bytes: no NetCDF signature
    } catch (const ConversionError& error) {
      EXPECT_EQ(error.Context(), cut_path);
      EXPECT_EQ(error.Message(),
                cut < header ? "The NetCDF file is damaged or cut short: its header runs past "
                               "the end of the file (" +
                                   WithThousands(cut) + " bytes)"
                             : "The NetCDF file is cut short: " + WithThousands(cut) + " of the " +
                                   WithThousands(declared) + " bytes its header declares");
    }
  }
}

NetCdfLayout Layout(const std::function<void(NetCdfLayout&)>& change) {
  NetCdfLayout layout;
  change(layout);
  return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ClassicSizes,
    ::testing::Values(ClassicCase{"FixedFloats", Layout([](NetCdfLayout&) {})},
                      ClassicCase{"FixedDoublesWithLevels", Layout([](NetCdfLayout& l) {
                                    l.var_type = NC_DOUBLE;
                                    l.extra_dim = "level";
                                    l.extra_length = 2;
                                  })},
                      // 9 shorts: 18 bytes, padded to 20 in the header's size.
                      ClassicCase{"FixedOddShortsLast", Layout([](NetCdfLayout& l) {
                                    l.var_type = NC_SHORT;
                                    l.fill = -1;
                                  }),
                                  3, 3, 2},
                      ClassicCase{"OneRecordVariable", Layout([](NetCdfLayout& l) {
                                    l.times = {0, 1, 2};
                                    l.record_time = true;
                                  })},
                      // Records of the time and an odd variable: padded within, and behind
                      // the last value.
                      ClassicCase{"OddRecordVariable", Layout([](NetCdfLayout& l) {
                                    l.times = {0, 1, 2};
                                    l.record_time = true;
                                    l.var_type = NC_SHORT;
                                    l.fill = -1;
                                  }),
                                  3, 3, 2},
                      ClassicCase{"TwoOddRecordVariables", Layout([](NetCdfLayout& l) {
                                    l.times = {0, 1, 2};
                                    l.record_time = true;
                                    l.second_variable = true;
                                    l.var_type = NC_SHORT;
                                    l.fill = -1;
                                  }),
                                  3, 3},
                      ClassicCase{"SixtyFourBitDataRecords", Layout([](NetCdfLayout& l) {
                                    l.cdf5 = true;
                                    l.times = {0, 1};
                                    l.record_time = true;
                                    l.second_variable = true;
                                  })},
                      ClassicCase{"NoRecordsYet", Layout([](NetCdfLayout& l) {
                                    l.times = {};
                                    l.cdf5 = true;
                                  })}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClassicSizes, NotAClassicHeaderIsLeftToTheLibrary) {
  TempDir dir;
  for (const std::string& bytes : {std::string("\x89HDF\r\n\x1a\n", 8), std::string("CDF\x03", 4),
                                   // A list tag that is none of the three.
                                   std::string("CDF\x01\0\0\0\0\0\0\0\x07\0\0\0\x01", 16)}) {
    std::ofstream(dir.file("f.nc"), std::ios::binary).write(bytes.data(), bytes.size());
    std::FILE* file = std::fopen(dir.file("f.nc").c_str(), "rb");
    EXPECT_FALSE(ReadClassicLayout(file).has_value());
    std::fclose(file);
    EXPECT_NO_THROW(CheckClassicNetCdfSize(dir.file("f.nc")));
  }
}

TEST(ClassicSizes, ThousandsSeparated) {
  const std::pair<std::uint64_t, const char*> kCases[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {8852, "8,852"},
      {100000, "100,000"},
      {1234567, "1,234,567"},
      {std::numeric_limits<std::uint64_t>::max(), "18,446,744,073,709,551,615"}};
  for (const auto& [number, text] : kCases) EXPECT_EQ(WithThousands(number), text);
}

}  // namespace
}  // namespace kova::inputs
