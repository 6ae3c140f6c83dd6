// Tests of the Tarvo ASCII grid reader: the two number conversions, the
// tokenizer, header and values of grid files, and the mended faults.
#include "app/inputs/tarvo/grid_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/platform/base/cpu_tier.h"
#include "app/platform/base/errors.h"
#include "support/temp_dir.h"

namespace kova {
namespace {

using grid_detail::ConvertGridFloat;
using grid_detail::FloatStatus;
using testing::TempDir;
using testing::WriteText;

std::string Hex(float f) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", std::bit_cast<std::uint32_t>(f));
  return text;
}

// Runs `action` and returns the message of the error of type E it raises.
template <typename E, typename F>
std::string ErrorText(F&& action) {
  try {
    action();
  } catch (const E& error) {
    return error.what();
  } catch (const std::exception& other) {
    return std::string("wrong error type: ") + other.what();
  }
  return "no error";
}

// ---------------------------------------------------------------------------
// Whole-number conversion

struct IntCase {
  const char* token;
  std::int32_t value;
};

void PrintTo(const IntCase& c, std::ostream* os) {
  *os << c.token;
}

class GoodIntegerTokens : public ::testing::TestWithParam<IntCase> {};

TEST_P(GoodIntegerTokens, Convert) {
  EXPECT_EQ(ParseGridInteger(GetParam().token), GetParam().value) << GetParam().token;
}

INSTANTIATE_TEST_SUITE_P(
    Table, GoodIntegerTokens,
    ::testing::Values(IntCase{"0", 0}, IntCase{"12", 12}, IntCase{"  12", 12}, IntCase{"007", 7},
                      IntCase{"+7", 7}, IntCase{"-7", -7}, IntCase{"2147483647", 2147483647},
                      IntCase{"-2147483648", std::numeric_limits<std::int32_t>::min()},
                      IntCase{"$FF", 255}, IntCase{"$ff", 255}, IntCase{"0x1A", 26},
                      IntCase{"0X1a", 26}, IntCase{"-$10", -16}, IntCase{"$7FFFFFFF", 2147483647},
                      IntCase{"-0x80000000", std::numeric_limits<std::int32_t>::min()}));

class BadIntegerTokens : public ::testing::TestWithParam<const char*> {};

TEST_P(BadIntegerTokens, RaiseConvertError) {
  std::string token = GetParam();
  EXPECT_EQ(ErrorText<ConvertError>([&] { ParseGridInteger(token); }),
            "'" + token + "' is not a valid integer value");
}

INSTANTIATE_TEST_SUITE_P(Table, BadIntegerTokens,
                         ::testing::Values("", " ", "+", "-", "2147483648", "-2147483649",
                                           "99999999999999999999", "$80000000", "$FFFFFFFF", "$",
                                           "0x", "x1A", "$-1", "0x1G", "+-1", "12 ", "12a", "1.0",
                                           "1e3", "1,5", "\t12"));

// ---------------------------------------------------------------------------
// Decimal conversion

struct FloatCase {
  const char* token;
  float value;
};

void PrintTo(const FloatCase& c, std::ostream* os) {
  *os << c.token;
}

class GoodFloatTokens : public ::testing::TestWithParam<FloatCase> {};

TEST_P(GoodFloatTokens, ConvertBitExactly) {
  float got = ParseGridFloat(GetParam().token);
  EXPECT_EQ(Hex(got), Hex(GetParam().value)) << GetParam().token << " gave " << got;
}

// 1 + 2^-24, the midpoint between 1 and the next float, is
// 1.000000059604644775390625. A decimal a little above it that rounds to the
// midpoint in extended precision then rounds to even, down to 1.
INSTANTIATE_TEST_SUITE_P(
    Table, GoodFloatTokens,
    ::testing::Values(FloatCase{"0", 0.0f}, FloatCase{"-0", -0.0f}, FloatCase{"1.5", 1.5f},
                      FloatCase{"-.5", -0.5f}, FloatCase{"5.", 5.0f}, FloatCase{".", 0.0f},
                      FloatCase{"+2.25", 2.25f}, FloatCase{"1e3", 1000.0f},
                      FloatCase{"1E+3", 1000.0f}, FloatCase{"2.5e-1", 0.25f},
                      FloatCase{"-9999", -9999.0f}, FloatCase{"-9999.0", -9999.0f},
                      FloatCase{"0.1", 0.1f}, FloatCase{"123.456", 123.456f},
                      FloatCase{"1e-50", 0.0f}, FloatCase{"-1e-50", -0.0f},
                      FloatCase{"3.4028234e38", FLT_MAX}, FloatCase{"1e-45", 1e-45f},
                      FloatCase{"00000000000000000000000001.5", 1.5f},
                      FloatCase{"1.00000005960464477539062500001", 1.0f},
                      FloatCase{"1.000000059604644775390625", 1.0f},
                      FloatCase{"1.00000005960464478", 1.00000012f},
                      FloatCase{"3.402823567797336616e38", FLT_MAX},
                      FloatCase{"16777217", 16777216.0f}, FloatCase{"16777219", 16777220.0f},
                      FloatCase{"-8388608.5", -8388608.0f}, FloatCase{"8388609.5", 8388610.0f},
                      // Short decimals whose double rounding lands on a float midpoint
                      // while the extended one does not.
                      FloatCase{"76.0140266418457", 0x1.300e5cp+6f},
                      FloatCase{"76.01402664184571", 0x1.300e5ep+6f},
                      FloatCase{"0.01277233799919486", 0x1.a28622p-7f},
                      FloatCase{"7.76985098127625e-6", 0x1.04b684p-17f}));

class BadFloatTokens : public ::testing::TestWithParam<const char*> {};

TEST_P(BadFloatTokens, RaiseConvertError) {
  std::string token = GetParam();
  EXPECT_EQ(ErrorText<ConvertError>([&] { ParseGridFloat(token); }),
            "'" + token + "' is not a valid floating point value");
}

INSTANTIATE_TEST_SUITE_P(Table, BadFloatTokens,
                         ::testing::Values("", "nan", "NaN", "inf", "-inf", "infinity", "0x1p3",
                                           "0x10", "1e", "1e+", "1E-", "e5", "+", "-", "+-1", "--1",
                                           "1,5", "1.5.0", "1..5", "1e5.0", "1e2e3", " 1", "1 ",
                                           "1\t2", "1\r", "12a", "1d5", "1.5f", "$10", "1_000"));

class OverflowingFloatTokens : public ::testing::TestWithParam<const char*> {};

TEST_P(OverflowingFloatTokens, RaiseFloatOverflow) {
  EXPECT_EQ(ErrorText<FloatOverflowError>([&] { ParseGridFloat(GetParam()); }),
            "Floating point overflow");
}

// The last one lies below the float overflow threshold 2^128 - 2^103 but
// rounds onto it in extended precision, and from there to even: infinity.
INSTANTIATE_TEST_SUITE_P(Table, OverflowingFloatTokens,
                         ::testing::Values("1e39", "-1e39", "3.5e38", "1e5000", "-1e99999999999",
                                           "10000000000000000000000000000000000000000",
                                           "3.4028235677973366163e38"));

// ---------------------------------------------------------------------------
// The fast conversion against the exact one

// "W e q" as text, W with 1 to 19 digits.
std::string DecimalText(bool negative, std::uint64_t w, int q) {
  std::string text = negative ? "-" : "";
  return text.append(std::to_string(w)).append("e").append(std::to_string(q));
}

// The point halfway between a random float of binary exponent lo .. lo +
// span - 1 and the next float up; exact in extended precision.
long double RandomMidpoint(std::mt19937_64& rng, int lo, int span) {
  int exponent = lo + static_cast<int>(rng() % static_cast<unsigned>(span));
  float f = std::ldexp(1.0f + static_cast<float>(rng() % (1u << 23)) / 8388608.0f, exponent);
  long double below = f;
  long double above = std::nextafter(f, INFINITY);
  return below + (above - below) / 2;
}

TEST(FastConversion, AgreesWithExactConversionBitForBit) {
  std::mt19937_64 rng(0x5EEDF00Dull);
  std::vector<std::string> tokens;
  // Random decimals of every length, written in assorted forms.
  for (int i = 0; i < 120000; ++i) {
    int digits = 1 + static_cast<int>(rng() % 19);
    std::string mantissa;
    for (int d = 0; d < digits; ++d) mantissa += static_cast<char>('0' + rng() % 10);
    int point = static_cast<int>(rng() % (digits + 1));
    std::string text = rng() % 2 ? "-" : "";
    text.append(mantissa, 0, point).append(".").append(mantissa, point);
    if (rng() % 2) text.append("e").append(std::to_string(static_cast<int>(rng() % 61) - 30));
    tokens.push_back(text);
  }
  // Decimals next to float midpoints: a midpoint rounded to 15, 16 or 19
  // digits, and its neighbours there. With 15 or 16 digits the double way
  // applies, and some of these round onto the midpoint in double but not in
  // extended precision.
  for (int i = 0; i < 90000; ++i) {
    const int digits = std::array{15, 16, 19}[i % 3];
    char text[64];
    std::snprintf(text, sizeof text, "%.*Le", digits - 1, RandomMidpoint(rng, -40, 100));
    std::string s = text;
    std::uint64_t w = std::stoull(s.substr(0, 1) + s.substr(2, digits - 1));
    int q = std::stoi(s.substr(s.find('e') + 1)) - (digits - 1);
    bool negative = rng() % 2;
    for (std::uint64_t n : {w - 1, w, w + 1}) tokens.push_back(DecimalText(negative, n, q));
  }
  // Exact midpoints of at most 19 digits, and the same nudged upwards.
  for (int i = 0; i < 20000; ++i) {
    char text[128];
    std::snprintf(text, sizeof text, "%.40Lf", RandomMidpoint(rng, 9, 52));
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    tokens.push_back(s);
    tokens.push_back(s + (s.find('.') == std::string::npos ? ".1" : "1"));
  }

  int fast = 0;
  int failures = 0;
  for (const std::string& token : tokens) {
    float quick = 0.0f;
    float exact = 0.0f;
    bool took_fast = false;
    FloatStatus a = ConvertGridFloat(token, quick, true, &took_fast);
    FloatStatus b = ConvertGridFloat(token, exact, false);
    fast += took_fast;
    if (a != b || std::bit_cast<std::uint32_t>(quick) != std::bit_cast<std::uint32_t>(exact)) {
      if (++failures <= 20) {
        ADD_FAILURE() << token << ": fast " << Hex(quick) << " status " << static_cast<int>(a)
                      << ", exact " << Hex(exact) << " status " << static_cast<int>(b);
      }
    }
  }
  EXPECT_EQ(failures, 0);
  // Most of the decimals must actually have gone the fast way.
  EXPECT_GT(fast, static_cast<int>(tokens.size() * 3 / 4)) << "of " << tokens.size();
}

// ---------------------------------------------------------------------------
// Grid files

std::string Header(int cols, int rows, const std::string& no_data = "-9999") {
  return "columns " + std::to_string(cols) + "\nrows " + std::to_string(rows) +
         "\nleft -10.5\nbottom 20.25\ncell 0.5\nnodata " + no_data + "\n";
}

struct GridRead {
  GridHeader header;
  std::vector<float> cells;  // GridCols x GridRows, row by row
  float min = 0;
  float max = 0;
};

GridRead ReadGridFile(const std::string& path, GridLimits limits = kWindowGridLimits) {
  GridReader reader;
  GridRead out;
  GridData grid;
  reader.ReadGridHeader(path, out.header);
  reader.ReadGridValues(out.header, grid, limits);
  reader.Close();
  out.cells = grid.Values;
  EXPECT_EQ(grid.NoData.size(), grid.Values.size());
  for (std::size_t i = 0; i < grid.Values.size(); ++i) {
    EXPECT_EQ(grid.NoData[i] != 0, grid.Values[i] == kNoDataMarker) << "cell " << i;
  }
  reader.ValidValueRange(out.min, out.max);
  return out;
}

GridRead ReadGridText(const std::string& text) {
  TempDir dir;
  WriteText(dir.file("grid.asc"), text);
  return ReadGridFile(dir.file("grid.asc"));
}

constexpr float M = kNoDataMarker;
// The smallest valid value of a grid without any.
constexpr float kNone = std::numeric_limits<float>::infinity();

struct GoodGrid {
  const char* name;
  std::string text;
  int cols;
  int rows;
  std::string no_data;
  std::vector<float> cells;
  float min;
  float max;
};

void PrintTo(const GoodGrid& g, std::ostream* os) {
  *os << g.name;
}

class GoodGrids : public ::testing::TestWithParam<GoodGrid> {};

TEST_P(GoodGrids, Read) {
  const GoodGrid& g = GetParam();
  GridRead got = ReadGridText(g.text);
  EXPECT_EQ(got.header.GridCols, g.cols);
  EXPECT_EQ(got.header.GridRows, g.rows);
  EXPECT_EQ(got.header.NoDataText, g.no_data);
  EXPECT_EQ(got.cells, g.cells);
  EXPECT_EQ(Hex(got.min), Hex(g.min)) << got.min;
  EXPECT_EQ(Hex(got.max), Hex(g.max)) << got.max;
}

std::string GoodGridName(const ::testing::TestParamInfo<GoodGrid>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, GoodGrids,
    ::testing::Values(
        GoodGrid{"LineFeeds", Header(2, 2) + "1 2\n3 4\n", 2, 2, "-9999", {1, 2, 3, 4}, 1, 4},
        GoodGrid{"CarriageReturnLineFeeds",
                 "columns 2\r\nrows 2\r\nleft 0\r\nbottom 0\r\ncell 1\r\n"
                 "nodata -9999\r\n1 -9999\r\n3 4\r\n",
                 2,
                 2,
                 "-9999",
                 {1, M, 3, 4},
                 1,
                 4},
        GoodGrid{"BlankLinesAndRunsOfSpaces",
                 "\n\n  columns    2\n\n rows 2   \n\nleft 0 bottom 0 cell 1\n"
                 "nodata   -9999\n\n\n   1     2\n\n  3   4   \n\n\n",
                 2,
                 2,
                 "-9999",
                 {1, 2, 3, 4},
                 1,
                 4},
        GoodGrid{"LineBreaksCarryNoMeaning",
                 Header(3, 2) + "1\n2 3 4\n5\n6",
                 3,
                 2,
                 "-9999",
                 {1, 2, 3, 4, 5, 6},
                 1,
                 6},
        GoodGrid{"LastValueWithoutLineFeed",
                 Header(2, 1) + "1 -2.5",
                 2,
                 1,
                 "-9999",
                 {1, -2.5f},
                 -2.5f,
                 1},
        GoodGrid{"ControlCharactersTrimmed",
                 Header(2, 1) + "\t1\t\x01 \r\r \x1f 2\r\r\n",
                 2,
                 1,
                 "-9999",
                 {1, 2},
                 1,
                 2},
        GoodGrid{"CodeTwentySixEndsTheText",
                 Header(2, 1) + "1 2\x1a 3 4 junk",
                 2,
                 1,
                 "-9999",
                 {1, 2},
                 1,
                 2},
        GoodGrid{"CodeTwentySixEndsATokenInside",
                 Header(2, 1) + "1 2\x1a"
                                "5",
                 2,
                 1,
                 "-9999",
                 {1, 2},
                 1,
                 2},
        GoodGrid{"NoDataComparedAsText",
                 Header(4, 1) + "-9999 -9999.0 5 -9999\n",
                 4,
                 1,
                 "-9999",
                 {M, -9999, 5, M},
                 -9999,
                 5},
        GoodGrid{"FirstValueSetsBothExtremes", Header(1, 1) + "7\n", 1, 1, "-9999", {7}, 7, 7},
        GoodGrid{"NoValidValueGivesNoRange",
                 Header(2, 1) + "-9999 -9999\n",
                 2,
                 1,
                 "-9999",
                 {M, M},
                 kNone,
                 -kNone},
        GoodGrid{"KeywordsAreIgnored",
                 "a 2\nb 1\nleftcentre 0\nbottomcentre 0\nsize 1\nmissing NA\n1 NA\n",
                 2,
                 1,
                 "NA",
                 {1, M},
                 1,
                 1},
        GoodGrid{"HeaderWithoutNoDataLine",
                 "columns 2\nrows 1\nleft 0\nbottom 0\ncell 1\n5 6\n",
                 2,
                 1,
                 "",
                 {5, 6},
                 5,
                 6},
        GoodGrid{"UnknownKeywordsWithoutNoDataLineReadByPlace",
                 "columns 2\nrows 1\nx 0\ny 0\ncell 1\n5 6 6 8\n",
                 2,
                 1,
                 "6",
                 {M, 8},
                 8,
                 8},
        GoodGrid{"HexadecimalSizes",
                 "columns $2\nrows 0x1\nx 0\ny 0\nc 1\nn -1\n1 2\n",
                 2,
                 1,
                 "-1",
                 {1, 2},
                 1,
                 2},
        GoodGrid{"NoDataTextKeepsLetterCase",
                 Header(3, 1, "NaN") + "NaN 1 NaN\n",
                 3,
                 1,
                 "NaN",
                 {M, 1, M},
                 1,
                 1}),
    GoodGridName);

TEST(GridHeader, ReadsAllSixValues) {
  TempDir dir;
  WriteText(dir.file("g.asc"), Header(2, 1) + "1 2\n");
  GridReader reader;
  GridHeader header;
  reader.ReadGridHeader(dir.file("g.asc"), header);
  EXPECT_EQ(header.GridCols, 2);
  EXPECT_EQ(header.GridRows, 1);
  EXPECT_EQ(header.GridLeft, -10.5f);
  EXPECT_EQ(header.GridBottom, 20.25f);
  EXPECT_EQ(header.CellSize, 0.5f);
  EXPECT_EQ(header.NoDataText, "-9999");
}

// Headers as grid files in the wild write them: the keywords in any order
// and letter case, centres of the lower-left cell, separate cell width and
// height, no no-data line; and headers read by the places of their tokens
// because a keyword is not known. Each gives the grid and its placement.
struct KeywordHeader {
  const char* name;
  std::string header;
  int cols, rows;
  float left, bottom, width, height;
  std::string no_data;
  std::vector<float> cells;  // of "1 2 3\n4 -9999 6\n", unless `values` is given
  std::string values = "1 2 3\n4 -9999 6\n";
};

void PrintTo(const KeywordHeader& h, std::ostream* os) {
  *os << h.name;
}

class KeywordHeaders : public ::testing::TestWithParam<KeywordHeader> {};

TEST_P(KeywordHeaders, GiveTheGridAndItsPlace) {
  const KeywordHeader& h = GetParam();
  TempDir dir;
  WriteText(dir.file("k.asc"), h.header + h.values);
  const GridRead got = ReadGridFile(dir.file("k.asc"));
  GridData grid;
  TakeGridHeader(got.header, dir.file("k.asc"), grid);
  EXPECT_EQ(grid.Cols, h.cols);
  EXPECT_EQ(grid.Rows, h.rows);
  EXPECT_EQ(Hex(grid.Left), Hex(h.left)) << grid.Left;
  EXPECT_EQ(Hex(grid.Bottom), Hex(h.bottom)) << grid.Bottom;
  EXPECT_EQ(grid.CellWidth, h.width);
  EXPECT_EQ(grid.CellHeight, h.height);
  EXPECT_EQ(got.header.NoDataText, h.no_data);
  EXPECT_EQ(got.cells, h.cells);
}

const std::vector<float> kThreeByTwo{1, 2, 3, 4, M, 6};
const std::vector<float> kNoMarker{1, 2, 3, 4, -9999, 6};

INSTANTIATE_TEST_SUITE_P(
    Table, KeywordHeaders,
    ::testing::Values(
        KeywordHeader{"UsualOrder",
                      "ncols 3\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 0.5\n"
                      "NODATA_value -9999\n",
                      3, 2, 10, 20, 0.5f, 0.5f, "-9999", kThreeByTwo},
        KeywordHeader{"RowsBeforeColumns",
                      "nrows 2\nncols 3\nxllcorner 10\nyllcorner 20\ncellsize 0.5\n"
                      "NODATA_value -9999\n",
                      3, 2, 10, 20, 0.5f, 0.5f, "-9999", kThreeByTwo},
        KeywordHeader{"ReversedWithNoDataAmongTheFirstFive",
                      "NODATA_value -9999\ncellsize 0.5\nyllcorner 20\nxllcorner 10\nnrows 2\n"
                      "ncols 3\n",
                      3, 2, 10, 20, 0.5f, 0.5f, "-9999", kThreeByTwo},
        KeywordHeader{"AnyLetterCase",
                      "NCOLS 3\nNRows 2\nXLLCorner 10\nYllcorner 20\nCELLSIZE 0.5\n"
                      "nodata_VALUE -9999\n",
                      3, 2, 10, 20, 0.5f, 0.5f, "-9999", kThreeByTwo},
        KeywordHeader{"PlainWords",
                      "rows 2\ncolumns 3\nbottomedge 20\nleftedge 10\ncell 0.5\nnodata -9999\n", 3,
                      2, 10, 20, 0.5f, 0.5f, "-9999", kThreeByTwo},
        KeywordHeader{"ShortForms",
                      "nrow 2\nncol 3\nyll 20\nxll 10\ncell_size 0.5\nno_data -9999\n", 3, 2, 10,
                      20, 0.5f, 0.5f, "-9999", kThreeByTwo},
        KeywordHeader{"CentresMovedHalfACell",
                      "ncols 3\nnrows 2\nxllcenter 10.25\nyllcenter 20.25\ncellsize 0.5\n"
                      "NODATA_value -9999\n",
                      3, 2, 10, 20, 0.5f, 0.5f, "-9999", kThreeByTwo},
        KeywordHeader{"BritishCentres",
                      "ncols 3\nnrows 2\nyllcentre -0.05\nxllcentre -179.95\ncellsize 0.1\n"
                      "NODATA_value -9999\n",
                      3, 2, -180.0f, static_cast<float>(-0.05L - 0.1f / 2.0L), 0.1f, 0.1f, "-9999",
                      kThreeByTwo},
        KeywordHeader{"CellWidthAndHeight",
                      "ncols 3\nnrows 2\nxllcenter 10.25\nyllcenter 20.125\ndx 0.5\ndy 0.25\n"
                      "NODATA_value -9999\n",
                      3, 2, 10, 20, 0.5f, 0.25f, "-9999", kThreeByTwo},
        KeywordHeader{"HeightBeforeWidthNoDataBetween",
                      "ncols 3\nnrows 2\nxllcorner 10\nyllcorner 20\nDY 0.25\nnodata -9999\n"
                      "DX 0.5\n",
                      3, 2, 10, 20, 0.5f, 0.25f, "-9999", kThreeByTwo},
        KeywordHeader{"NoNoDataLine",
                      "ncols 3\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 0.5\n", 3, 2, 10, 20,
                      0.5f, 0.5f, "", kNoMarker},
        KeywordHeader{"NoNoDataLineFirstValueNegative",
                      "ncols 3\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 0.5\n",
                      3,
                      2,
                      10,
                      20,
                      0.5f,
                      0.5f,
                      "",
                      {-1, -2, .5f, 4, -9999, 6},
                      "-1 -2 .5\n4 -9999 6\n"},
        KeywordHeader{"NoNoDataLineAfterDxDy",
                      "ncols 3\nnrows 2\nxllcorner 10\nyllcorner 20\ndx 0.5\ndy 0.25\n", 3, 2, 10,
                      20, 0.5f, 0.25f, "", kNoMarker},
        KeywordHeader{"UnknownSixthKeywordIsTheNoDataLine",
                      "ncols 3\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 0.5\n"
                      "missing_value 4\n",
                      3,
                      2,
                      10,
                      20,
                      0.5f,
                      0.5f,
                      "4",
                      {1, 2, 3, M, -9999, 6}},
        // One unknown keyword among the first five: every value by its place,
        // what the keywords say notwithstanding.
        KeywordHeader{"UnknownKeywordKeepsReadingByPlace",
                      "nrows 3\nncols 2\nxllcorner 10\nyllcorner 20\nsize 0.5\n"
                      "NODATA_value -9999\n",
                      3, 2, 10, 20, 0.5f, 0.5f, "-9999", kThreeByTwo},
        KeywordHeader{"UnknownKeywordsTakeNoCentre",
                      "a 3\nb 2\nxllcenter 10\nyllcenter 20\nc 0.5\nd -9999\n", 3, 2, 10, 20, 0.5f,
                      0.5f, "-9999", kThreeByTwo},
        KeywordHeader{"RepeatedKeywordKeepsReadingByPlace",
                      "ncols 3\nncols 2\nxllcorner 10\nyllcorner 20\ncellsize 0.5\n"
                      "NODATA_value -9999\n",
                      3, 2, 10, 20, 0.5f, 0.5f, "-9999", kThreeByTwo}),
    [](const auto& info) { return std::string(info.param.name); });

// Errors: the expected text may hold {path}, the grid file's name.
enum class Kind { kConvert, kRange, kOverflow, kConversion };

struct BadGrid {
  const char* name;
  std::string text;
  Kind kind;
  std::string message;
};

void PrintTo(const BadGrid& g, std::ostream* os) {
  *os << g.name;
}

class BadGrids : public ::testing::TestWithParam<BadGrid> {};

TEST_P(BadGrids, RaiseTheirError) {
  const BadGrid& g = GetParam();
  TempDir dir;
  std::string path = dir.file("grid.asc");
  WriteText(path, g.text);
  std::string expected = g.message;
  if (auto at = expected.find("{path}"); at != std::string::npos) expected.replace(at, 6, path);
  auto read = [&] { ReadGridFile(path); };
  std::string got;
  switch (g.kind) {
    case Kind::kConvert:
      got = ErrorText<ConvertError>(read);
      break;
    case Kind::kRange:
      got = ErrorText<RangeError>(read);
      break;
    case Kind::kOverflow:
      got = ErrorText<FloatOverflowError>(read);
      break;
    case Kind::kConversion:
      got = ErrorText<ConversionError>(read);
      break;
  }
  EXPECT_EQ(got, expected);
}

std::string BadGridName(const ::testing::TestParamInfo<BadGrid>& info) {
  return info.param.name;
}

std::string Values(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += std::to_string(i) + (i % 10 ? " " : "\n");
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadGrids,
    ::testing::Values(
        BadGrid{"TabJoinsTwoNumbers", Header(2, 1) + "1\t2 3\n", Kind::kConvert,
                "'1\t2' is not a valid floating point value: line 7, column 1"},
        BadGrid{"ExtraHeaderLine", "title my grid\n" + Header(1, 1) + "1\n", Kind::kConvert,
                "'my' is not a valid integer value: line 1, column 7; expected the number of "
                "columns as "
                "the value of header line 1; 'my' looks like a keyword: is a header line missing?"},
        BadGrid{
            "ExtraKeywordBecomesValue", Header(1, 1) + "flags 1\n", Kind::kConvert,
            "'flags' is not a valid floating point value: line 7, column 1; expected the first "
            "grid "
            "value; 'flags' looks like the keyword of a seventh header line (the header has six: "
            "columns, rows, left edge, bottom edge, cell size, no-data text; 'nodata -9999' was "
            "read as the no-data line)"},
        BadGrid{"IntegerWithDecimals", "columns 2.0\nrows 1\n", Kind::kConvert,
                "'2.0' is not a valid integer value: line 1, column 9; expected the number of "
                "columns as "
                "the value of header line 1"},
        BadGrid{"CommaInHeader", "columns 1\nrows 1\nleft 1,5\n", Kind::kConvert,
                "'1,5' is not a valid floating point value: line 3, column 6; expected the x of "
                "the left "
                "edge as the value of header line 3"},
        BadGrid{"TrailingCarriageReturnInsideToken", Header(2, 1) + "1\r\r2 3\n", Kind::kConvert,
                "'1\r\r2' is not a valid floating point value: line 7, column 1"},
        BadGrid{"ValueOverflow", Header(2, 1) + "1 1e39\n", Kind::kOverflow,
                "Floating point overflow: line 7, column 3"},
        BadGrid{"HeaderOverflow", "columns 1\nrows 1\nx 0\ny 0\ncell 1e39\n", Kind::kOverflow,
                "Floating point overflow: line 5, column 6"},
        BadGrid{"ColumnBeyond800", Header(801, 1) + Values(801), Kind::kRange,
                "Range check error: grid of 801 columns; at most 800 columns and 300 rows can be "
                "converted (kova convert takes grids up to 32767 x 32767)"},
        BadGrid{"RowBeyond300", Header(1, 301) + Values(301), Kind::kRange,
                "Range check error: grid of 301 rows; at most 800 columns and 300 rows can be "
                "converted (kova convert takes grids up to 32767 x 32767)"},
        BadGrid{"SurplusBeyondRow300", Header(1, 300) + Values(301), Kind::kRange,
                "Range check error: values beyond row 300; at most 800 columns and 300 rows can be "
                "converted (kova convert takes grids up to 32767 x 32767)"},
        BadGrid{"BadValueBeforeRangeCheck", Header(1, 300) + Values(300) + "x\n", Kind::kConvert,
                "'x' is not a valid floating point value: line 37, column 1"},
        BadGrid{"EmptyFile", "", Kind::kConversion,
                "Grid file {path} ends before its header is complete"},
        BadGrid{"HeaderEndsAtToken11", "columns 1\nrows 1\nx 0\ny 0\ncell 1\nnodata\n",
                Kind::kConversion, "Grid file {path} ends before its header is complete"},
        BadGrid{"HeaderCutByCodeTwentySix", "columns 1\nrows 1\x1a x 0\ny 0\nc 1\nn -1\n1\n",
                Kind::kConversion, "Grid file {path} ends before its header is complete"},
        BadGrid{"ZeroColumns", Header(0, 2), Kind::kConversion,
                "Grid file {path} gives a grid of 0 columns and 2 rows; both must be at least 1"},
        BadGrid{"NegativeRows", Header(3, -1) + "1 2 3\n", Kind::kConversion,
                "Grid file {path} gives a grid of 3 columns and -1 rows; both must be at least 1"},
        BadGrid{"FewerValues", Header(2, 2) + "1 2 3\n", Kind::kConversion,
                "Grid file {path} holds only 3 of the 4 values of its 2 columns and 2 rows"},
        BadGrid{"NoValuesAtAll", Header(2, 2), Kind::kConversion,
                "Grid file {path} holds only 0 of the 4 values of its 2 columns and 2 rows"},
        BadGrid{"FewerValuesBeforeCodeTwentySix", Header(2, 2) + "1 2 3\x1a 4\n", Kind::kConversion,
                "Grid file {path} holds only 3 of the 4 values of its 2 columns and 2 rows"},
        BadGrid{"FewerValuesWideGrid", Header(801, 1) + "1\n", Kind::kConversion,
                "Grid file {path} holds only 1 of the 801 values of its 801 columns and 1 rows"},
        BadGrid{"MoreValues", Header(2, 2) + "1 2 3 4 5\n", Kind::kConversion,
                "Grid file {path} holds more than the 4 values of its 2 columns and 2 rows"},
        BadGrid{"ExtraHeaderLineAfterCellSize",
                "columns 2\nrows 1\nx 0\nbottom 0\ndx 1\ndy 1\nnodata -9999\n1 2\n", Kind::kConvert,
                "'nodata' is not a valid floating point value: line 7, column 1; expected the "
                "first grid value; 'nodata' looks like the keyword of a seventh header line (the "
                "header has six: columns, rows, left edge, bottom edge, cell size, no-data text; "
                "'dy 1' was read as the no-data line)"},
        BadGrid{"ExtraLineAfterSevenKeywordLines",
                "columns 2\nrows 1\nleft 0\nbottom 0\ndx 1\ndy 1\nnodata -9999\nflags 0\n1 2\n",
                Kind::kConvert,
                "'flags' is not a valid floating point value: line 8, column 1; expected the "
                "first grid value; 'flags' looks like the keyword of an eighth header line (the "
                "header has seven: columns, rows, left edge, bottom edge, cell width, cell "
                "height, no-data text; 'nodata -9999' was read as the no-data line)"},
        BadGrid{"MissingLineMovesTheOthersUp",
                "columns 2\nrows 1\nleft 0\nsize 1\nnodata -9999\n1 2\n", Kind::kConversion,
                "Grid file {path} gives a cell size of -9999; it must be above 0: line 6: header "
                "line 6 should begin with the keyword of the no-data text, not the number '1'; is "
                "a header line missing?"},
        BadGrid{"MissingKeywordLine", "columns 2\nrows 1\nleft 0\ncell 1\nnodata -9999\n1 2\n",
                Kind::kConversion,
                "Grid file {path} has no header line for the y of the bottom edge (such as "
                "'yllcorner')"},
        BadGrid{"MissingRowsLine",
                "ncols 3\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9\n1 2 3\n",
                Kind::kConversion,
                "Grid file {path} has no header line for the number of rows (such as 'nrows')"},
        BadGrid{"DxWithoutDy", "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ndx 1\nnodata -9\n5\n",
                Kind::kConversion,
                "Grid file {path} has no header line for the cell height (such as 'dy')"},
        BadGrid{"UnknownKeywordInPlaceOfAMissingLine",
                "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\nnodata -9\nsize 1\n5\n",
                Kind::kConversion,
                "Grid file {path} has no header line for the cell size (such as 'cellsize'); "
                "'size' on header line 6 is not one"},
        BadGrid{"KeywordHeaderEndsEarly",
                "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\nnodata_value -9\n", Kind::kConversion,
                "Grid file {path} ends before its header is complete"},
        BadGrid{"KeywordGivenTwice",
                "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNCOLS 4\n1 2 3\n",
                Kind::kConversion,
                "Grid file {path} gives the number of columns twice in its header (header lines "
                "1 and 6)"},
        BadGrid{"CellSizeAndDx",
                "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\ndx 1\n1 2 3\n",
                Kind::kConversion,
                "Grid file {path} gives the cell width twice in its header (header lines 5 and "
                "6)"},
        BadGrid{"ZeroCellHeight", "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ndx 1\ndy 0\n5\n",
                Kind::kConversion, "Grid file {path} gives a cell height of 0; it must be above 0"},
        BadGrid{"RowsByKeywordNotAWholeNumber", "ncols 1\nxllcorner 0\nnrows 1.5\n", Kind::kConvert,
                "'1.5' is not a valid integer value: line 3, column 7; expected the number of "
                "rows as the value of header line 3"},
        BadGrid{"CentreBeyondTheFloatRange",
                "ncols 1\nnrows 1\nxllcenter -3e38\nyllcorner 0\ncellsize 3e38\n5\n",
                Kind::kOverflow,
                "Floating point overflow: Grid file {path}: the edge of its lower-left cell"},
        BadGrid{"MissingNoDataLine", "columns 2\nrows 2\nx 0\ny 0\ncell 1\n1 2\n3 4\n",
                Kind::kConversion,
                "Grid file {path} holds only 2 of the 4 values of its 2 columns and 2 rows: line "
                "6: header line 6 should begin with the keyword of the no-data text, not the "
                "number '1'; is a header line missing?"},
        BadGrid{"KeywordRunIntoItsNumber", "columns2\nrows 1\nleft 0\n", Kind::kConvert,
                "'rows' is not a valid integer value: line 2, column 1; expected the number of "
                "columns as the value of header line 1; 'rows' looks like a keyword: is a header "
                "line missing?"},
        BadGrid{"ZeroCellSize", Header(2, 1).replace(Header(2, 1).find("cell 0.5"), 8, "cell 0"),
                Kind::kConversion, "Grid file {path} gives a cell size of 0; it must be above 0"},
        BadGrid{"NegativeCellSize",
                Header(2, 1).replace(Header(2, 1).find("cell 0.5"), 8, "cell -.5") + "1 2\n",
                Kind::kConversion, "Grid file {path} gives a cell size of -.5; it must be above 0"},
        BadGrid{"BadValueDeepInTheFile", Header(3, 20) + Values(45) + "  4x\n", Kind::kConvert,
                "'4x' is not a valid floating point value: line 11, column 18"},
        BadGrid{"MoreValuesNoData", Header(2, 1) + "1 2 -9999\n", Kind::kConversion,
                "Grid file {path} holds more than the 2 values of its 2 columns and 1 rows"}),
    BadGridName);

// Grids at and beyond the limits of a run: the window's, kova convert's, and
// a small one that shows where the stop comes.
struct LimitCase {
  const char* label;
  int cols, rows;
  GridLimits limits;
  const char* context;  // empty: the grid is read whole
};

class LimitCases : public ::testing::TestWithParam<LimitCase> {};

TEST_P(LimitCases, ReadOrStopAtTheLimit) {
  const LimitCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.file("l.asc");
  WriteText(path, Header(c.cols, c.rows) + Values(c.cols * c.rows));
  if (std::string(c.context).empty()) {
    GridRead got = ReadGridFile(path, c.limits);
    ASSERT_EQ(got.cells.size(), static_cast<std::size_t>(c.cols) * c.rows);
    EXPECT_EQ(got.cells.back(), static_cast<float>(c.cols * c.rows));
    return;
  }
  try {
    ReadGridFile(path, c.limits);
    ADD_FAILURE() << "read without error";
  } catch (const RangeError& error) {
    EXPECT_EQ(error.Message(), "Range check error");
    EXPECT_EQ(error.Context(), c.context);
  }
}

std::string LimitCaseName(const ::testing::TestParamInfo<LimitCase>& info) {
  return info.param.label;
}

INSTANTIATE_TEST_SUITE_P(
    Table, LimitCases,
    ::testing::Values(
        LimitCase{"WideGridInKovaConvert", 1200, 2, kImageGridLimits, ""},
        LimitCase{"TallGridInKovaConvert", 2, 1200, kImageGridLimits, ""},
        LimitCase{"AtTheSmallLimits", 4, 3, GridLimits{4, 3}, ""},
        LimitCase{"OneColumnTooMany", 5, 3, GridLimits{4, 3},
                  "grid of 5 columns; at most 4 columns and 3 rows can be converted (kova "
                  "convert takes grids up to 32767 x 32767)"},
        LimitCase{"OneRowTooMany", 4, 4, GridLimits{4, 3},
                  "grid of 4 rows; at most 4 columns and 3 rows can be converted (kova convert "
                  "takes grids up to 32767 x 32767)"},
        LimitCase{"BeyondTheWindow", 801, 1, kWindowGridLimits,
                  "grid of 801 columns; at most 800 columns and 300 rows can be converted (kova "
                  "convert takes grids up to 32767 x 32767)"}),
    LimitCaseName);

TEST(GridLimits, HugeHeaderOfASmallFileFailsOnItsValuesNotOnMemory) {
  TempDir dir;
  const std::string path = dir.file("huge.asc");
  WriteText(path, Header(32767, 32767) + "1 2 3\n");
  EXPECT_EQ(ErrorText<ConversionError>([&] { ReadGridFile(path, kImageGridLimits); }),
            "Grid file " + path +
                " holds only 3 of the 1073676289 values of its 32767 columns and 32767 rows");
}

TEST(GridLimits, LargestGridFillsEveryCell) {
  std::string text = Header(kMaxGridCols, kMaxGridRows);
  for (int r = 1; r <= kMaxGridRows; ++r) {
    for (int c = 1; c <= kMaxGridCols; ++c) text += std::to_string(r * 1000 + c) + " ";
    text += "\n";
  }
  GridRead got = ReadGridText(text);
  ASSERT_EQ(got.cells.size(), static_cast<std::size_t>(kMaxGridCols * kMaxGridRows));
  EXPECT_EQ(got.cells.front(), 1001.0f);
  EXPECT_EQ(got.cells[kMaxGridCols], 2001.0f);
  EXPECT_EQ(got.cells.back(), 300800.0f);
  EXPECT_EQ(got.min, 1001.0f);
  EXPECT_EQ(got.max, 300800.0f);
}

TEST(GridFile, MissingFileAndMissingDirectory) {
  TempDir dir;
  GridReader reader;
  GridHeader header;
  EXPECT_EQ(ErrorText<FileError>([&] { reader.ReadGridHeader(dir.file("none.asc"), header); }),
            "File not found");
  EXPECT_EQ(
      ErrorText<FileError>([&] { reader.ReadGridHeader(dir.file("nodir") + "/none.asc", header); }),
      "Invalid filename");
}

TEST(GridFile, NoDataCellsAreFlaggedApartFromTheirValue) {
  TempDir dir;
  WriteText(dir.file("m.asc"), Header(3, 1, "-9999") + "-10000000 -9999 -10000000.0\n");
  GridReader reader;
  GridHeader header;
  GridData grid;
  reader.ReadGridHeader(dir.file("m.asc"), header);
  reader.ReadGridValues(header, grid);
  EXPECT_FALSE(grid.NoData[0]) << "a value equal to the marker is data";
  EXPECT_TRUE(grid.NoData[1]);
  EXPECT_FALSE(grid.NoData[2]);
  EXPECT_EQ(grid.Values[0], kNoDataMarker);
  EXPECT_EQ(grid.Values[1], kNoDataMarker);
  float lo = 0;
  float hi = 0;
  EXPECT_TRUE(reader.ValidValueRange(lo, hi));
  EXPECT_EQ(lo, -10000000.0f);
}

TEST(GridFile, OneReaderReadsTwoFilesInTurn) {
  TempDir dir;
  WriteText(dir.file("a.asc"), Header(3, 1) + "1 2 3 4 5 6 7");  // would be surplus
  WriteText(dir.file("b.asc"), Header(1, 2, "x") + "x 9\n");
  GridReader reader;
  GridHeader header;
  GridData grid;
  reader.ReadGridHeader(dir.file("a.asc"), header);
  reader.ReadGridHeader(dir.file("b.asc"), header);  // a.asc is left behind unread
  reader.ReadGridValues(header, grid);
  EXPECT_EQ(header.GridCols, 1);
  EXPECT_EQ(header.NoDataText, "x");
  EXPECT_EQ(grid.Values, (std::vector<float>{kNoDataMarker, 9.0f}));
  EXPECT_EQ(grid.NoData, (std::vector<std::uint8_t>{1, 0}));
  float lo = 0;
  float hi = 0;
  EXPECT_TRUE(reader.ValidValueRange(lo, hi));
  EXPECT_EQ(lo, 9.0f);
  EXPECT_EQ(hi, 9.0f);
}

// ---------------------------------------------------------------------------
// Files larger than one read block

// A grid of 800 columns over three read blocks whose values are i + 0.5,
// except that `token` (value `token_value`) starts at byte `offset`.
struct BigGrid {
  std::string text;
  std::vector<float> cells;
};

BigGrid GridWithTokenAt(std::size_t offset, const std::string& token, float token_value) {
  BigGrid g;
  g.text = "columns 800\nrows RRR\nleft 0\nbottom 0\ncell 1\nnodata -9999\n";
  auto add_value = [&g] {
    std::string value = std::to_string(g.cells.size()) + ".5";
    g.cells.push_back(static_cast<float>(g.cells.size()) + 0.5f);
    return value;
  };
  for (;;) {
    std::string next = std::to_string(g.cells.size()) + ".5 ";
    if (g.text.size() + next.size() > offset) break;
    g.text += add_value() + " ";
  }
  g.text.append(offset - g.text.size(), ' ');
  g.text += token + "\n";
  g.cells.push_back(token_value);
  while (g.text.size() < 3 * kGridReadBlockSize || g.cells.size() % kMaxGridCols != 0) {
    g.text += add_value() + (g.cells.size() % 7 ? " " : "\r\n");
  }
  char rows[32];
  std::snprintf(rows, sizeof rows, "%03zu", g.cells.size() / kMaxGridCols);
  g.text.replace(g.text.find("RRR"), 3, rows);
  return g;
}

void ExpectBigGrid(const BigGrid& g) {
  GridRead got = ReadGridText(g.text);
  ASSERT_EQ(got.cells.size(), g.cells.size());
  for (std::size_t i = 0; i < g.cells.size(); ++i) {
    ASSERT_EQ(got.cells[i], g.cells[i]) << "value " << i;
  }
  float lo = kNone;
  float hi = -kNone;
  for (float v : g.cells) {
    if (v == kNoDataMarker) continue;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_EQ(got.min, lo);
  EXPECT_EQ(got.max, hi);
}

// A token that starts `shift` bytes before the end of the first block:
// "-123456.75" (10 characters) at 0 starts in the second block, at 10 ends
// at the end of the first, at 11 has its line feed there too; the no-data
// text is compared whole; the longest token allowed is read whole.
struct Straddling {
  std::size_t shift;
  std::string token;
  float value;
};

void PrintTo(const Straddling& c, std::ostream* os) {
  *os << c.token.substr(0, 12) << " at " << c.shift;
}

class StraddlingToken : public ::testing::TestWithParam<Straddling> {};

TEST_P(StraddlingToken, IsReadWhole) {
  const Straddling& c = GetParam();
  ExpectBigGrid(GridWithTokenAt(kGridReadBlockSize - c.shift, c.token, c.value));
}

// "1.000...0": the value 1 written with `length` characters.
std::string LongOne(std::size_t length) {
  return "1." + std::string(length - 2, '0');
}

INSTANTIATE_TEST_SUITE_P(Shifts, StraddlingToken,
                         ::testing::Values(Straddling{0, "-123456.75", -123456.75f},
                                           Straddling{1, "-123456.75", -123456.75f},
                                           Straddling{2, "-123456.75", -123456.75f},
                                           Straddling{5, "-123456.75", -123456.75f},
                                           Straddling{9, "-123456.75", -123456.75f},
                                           Straddling{10, "-123456.75", -123456.75f},
                                           Straddling{11, "-123456.75", -123456.75f},
                                           Straddling{12, "-123456.75", -123456.75f},
                                           Straddling{3, "-9999", kNoDataMarker},
                                           Straddling{2000, LongOne(kMaxGridTokenLength), 1.0f}));

// Short tokens of every shape, among every kind of separator and across
// block ends, read to the value of the exact conversion by the kernels of
// each tier the processor has; the no-data text compared whole, also where
// it is a number, longer than 8 characters, or one character off; the
// extremes those of the values.
class ShortTokens : public ::testing::TestWithParam<std::tuple<const char*, CpuTier>> {
 protected:
  CpuTierLimit tier_{std::get<1>(GetParam())};
};

TEST_P(ShortTokens, ReadAsTheExactConversionReadsThem) {
  const std::string no_data = std::get<0>(GetParam());
  std::mt19937_64 rng(0xC0FFEEull);
  // Single spaces and line feeds most often, as in most grids: where two
  // numbers are read at once.
  const std::array<const char*, 9> separators = {" ",  " ",    " ",   "\n", "   ",
                                                 "\n", "\r\n", " \t", "\t "};
  // Numbers one character off the no-data text, and shapes at the edges of
  // the short way.
  std::vector<std::string> fixed = {"-0",
                                    "-0.000",
                                    "+.5",
                                    "5.",
                                    "00000001",
                                    "16777217",
                                    "0.1",
                                    "-9999",
                                    "99999999",
                                    "-.0000001",
                                    "999999999999999",
                                    "-.00000000000001",
                                    "9007199254740993",
                                    "1234567.89012345"};
  for (const std::string& near : {no_data + "0", no_data.substr(1), no_data.substr(0, 1)}) {
    float value = 0.0f;
    if (!near.empty() && near.size() <= 20 && ConvertGridFloat(near, value) == FloatStatus::kOk) {
      fixed.push_back(near);
    }
  }
  const int cols = kMaxGridCols;
  const int rows = kMaxGridRows;
  std::string text = "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(rows) +
                     "\nxll 0\nyll 0\ncell 1\nnodata " + no_data + "\n";
  std::vector<std::string> tokens;
  for (int i = 0; i < cols * rows; ++i) {
    std::string token;
    const auto kind = rng() % 20;
    if (kind < 2) {
      token = no_data;
    } else if (kind < 4) {
      token = fixed[rng() % fixed.size()];
    } else {
      const auto sign = rng() % 6;
      token = sign == 0 ? "-" : sign == 1 ? "+" : "";
      // Mostly up to 8 characters, else up to 17 (16 digits and more take
      // the general way).
      const std::size_t longest = rng() % 4 == 0 ? 17 : 8;
      const int digits = 1 + static_cast<int>(rng() % (longest - token.size()));
      std::string number;
      for (int d = 0; d < digits; ++d) number += static_cast<char>('0' + rng() % 10);
      const auto dot = rng() % (digits + 2);
      if (dot <= static_cast<unsigned>(digits) && token.size() + digits < longest) {
        number.insert(dot, ".");
      }
      token += number;
    }
    tokens.push_back(token);
    text += token;
    text += (i + 1) % cols == 0 ? "\n" : separators[rng() % separators.size()];
  }
  const GridRead got = ReadGridText(text);
  ASSERT_EQ(got.cells.size(), tokens.size());
  int failures = 0;
  float low = kNone;
  float high = -kNone;
  for (std::size_t i = 0; i < tokens.size() && failures < 10; ++i) {
    float exact = kNoDataMarker;
    if (tokens[i] != no_data) {
      ASSERT_EQ(ConvertGridFloat(tokens[i], exact, false), FloatStatus::kOk) << tokens[i];
      low = std::min(low, exact);
      high = std::max(high, exact);
    }
    if (std::bit_cast<std::uint32_t>(got.cells[i]) != std::bit_cast<std::uint32_t>(exact)) {
      ++failures;
      ADD_FAILURE() << "cell " << i << " '" << tokens[i] << "': read " << Hex(got.cells[i])
                    << ", exact " << Hex(exact);
    }
  }
  EXPECT_EQ(Hex(got.min), Hex(low));
  EXPECT_EQ(Hex(got.max), Hex(high));
}

INSTANTIATE_TEST_SUITE_P(NoDataTexts, ShortTokens,
                         ::testing::Combine(::testing::Values("-9999", "0", "-999.99", "12345678",
                                                              "-3.4028235e+38", "NA",
                                                              "-999999999999999"),
                                            ::testing::ValuesIn(AvailableCpuTiers())));

// Tokens that look almost like a short number, at each place among four
// that would be read at once: each is read by every tier as the general way
// reads it, to its value or to its error.
class OddTokenBesideNumber : public ::testing::TestWithParam<std::tuple<const char*, int>> {};

TEST_P(OddTokenBesideNumber, IsReadAsAlone) {
  const auto [token, place] = GetParam();
  std::vector<std::string> row = {"2.5", "1.25", "-9999"};
  row.insert(row.begin() + place, token);
  std::string text = "ncols 4\nnrows 4\nxll 0\nyll 0\ncell 1\nnodata -9999\n";
  int column = 1;
  for (int i = 0; i < 4; ++i) {
    text += row[static_cast<std::size_t>(i)] + (i < 3 ? " " : "\n");
    if (i < place) column += static_cast<int>(row[static_cast<std::size_t>(i)].size()) + 1;
  }
  // More rows, so that four tokens at once are tried on the first.
  for (int i = 0; i < 3; ++i) text += "10.5 11.5 12.5 13.5\n";
  float value = 0.0f;
  const bool number = ConvertGridFloat(token, value) == FloatStatus::kOk;
  std::vector<float> expected = {2.5f, 1.25f, M};
  expected.insert(expected.begin() + place, value);
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), {10.5f, 11.5f, 12.5f, 13.5f});
  for (const CpuTier tier : AvailableCpuTiers()) {
    const CpuTierLimit limit(tier);
    if (!number) {
      EXPECT_EQ(ErrorText<ConvertError>([&] { ReadGridText(text); }),
                "'" + std::string(token) +
                    "' is not a valid floating point value: line 7, column " +
                    std::to_string(column))
          << CpuTierName(tier);
    } else {
      EXPECT_EQ(ReadGridText(text).cells, expected) << CpuTierName(tier);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, OddTokenBesideNumber,
    ::testing::Combine(::testing::Values("1.2.3", "1..2", ".", "-", "+", "-.", "+-1", "1-2", "--1",
                                         "1e5", "12345678", "-1234567", "9.99999e-3", "-9999.",
                                         "-99990", "123456789012.345", "-12345678901234567"),
                       ::testing::Range(0, 4)));

// Rows of four numbers at the edges of what is read four at once (the first
// two with their ends within 16 characters, the last two within 16 from the
// third's start; a no-data text of 7 characters compared with its end, one
// of 8 left to pairs): each cell, by every tier, as the exact conversion
// reads its token.
struct QuadEdge {
  const char* no_data;
  const char* row;
};

class QuadEdges : public ::testing::TestWithParam<QuadEdge> {};

TEST_P(QuadEdges, AreReadAsTheExactConversionReadsThem) {
  const std::string no_data = GetParam().no_data;
  std::string text = "ncols 4\nnrows 6\nxll 0\nyll 0\ncell 1\nnodata " + no_data + "\n";
  for (int i = 0; i < 6; ++i) text += std::string(GetParam().row) + "\n";
  std::vector<float> exact;
  std::istringstream row(GetParam().row);
  for (std::string token; row >> token;) {
    float value = M;
    if (token != no_data) {
      ASSERT_EQ(ConvertGridFloat(token, value, false), FloatStatus::kOk);
    }
    exact.push_back(value);
  }
  for (const CpuTier tier : AvailableCpuTiers()) {
    const CpuTierLimit limit(tier);
    const GridRead got = ReadGridText(text);
    ASSERT_EQ(got.cells.size(), 6 * exact.size()) << CpuTierName(tier);
    for (std::size_t i = 0; i < got.cells.size(); ++i) {
      EXPECT_EQ(Hex(got.cells[i]), Hex(exact[i % exact.size()]))
          << CpuTierName(tier) << " cell " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, QuadEdges,
                         ::testing::Values(QuadEdge{"-9999", "1234567 1234567 -9999 2"},
                                           QuadEdge{"-9999", "12345678 1234567 1 -9999"},
                                           QuadEdge{"-999.99", "1234567 -999.99 1 -999.99"},
                                           QuadEdge{"-999.99", "12345678 -999.99 1 2"},
                                           QuadEdge{"-999.99", "1 -999.99 1234567 -999.99"},
                                           QuadEdge{"-999.99", "1 2 12345678 -999.99"},
                                           QuadEdge{"-999.99", "-999.9 -999.990 +999.99 -999.99"},
                                           QuadEdge{"12345678", "12345678 1 12345678 2"},
                                           QuadEdge{"-9999", "-0 +0 -.5 5."},
                                           QuadEdge{"-9999", "1 2 \t3 4"},
                                           QuadEdge{"-9999", "1\t 2 3 4"},
                                           QuadEdge{"-9999", "1  2 3 4"}));

// The extremes of the valid values as a pass in order finds them, beyond
// any start value, and +infinity and -infinity without a valid value: where
// an extreme is zero, the first zero met gives its sign, whether it lies
// among the first cells, read four at a time, or among the last.
struct ZeroExtremes {
  const char* values;
  std::uint32_t min_bits;
  std::uint32_t max_bits;
};

class ValueExtremes : public ::testing::TestWithParam<ZeroExtremes> {};

TEST_P(ValueExtremes, AreThoseOfAPassInOrder) {
  std::istringstream in(GetParam().values);
  int cols = 0;
  for (std::string token; in >> token;) ++cols;
  const GridRead got =
      ReadGridText("ncols " + std::to_string(cols) +
                   "\nnrows 1\nxll 0\nyll 0\ncell 1\nnodata -9999\n" + GetParam().values + "\n");
  EXPECT_EQ(Hex(got.min), Hex(std::bit_cast<float>(GetParam().min_bits)));
  EXPECT_EQ(Hex(got.max), Hex(std::bit_cast<float>(GetParam().max_bits)));
}

constexpr std::uint32_t kPlusZero = 0x00000000u;
constexpr std::uint32_t kMinusZero = 0x80000000u;
constexpr std::uint32_t kOne = 0x3F800000u;
constexpr std::uint32_t kMinusOne = 0xBF800000u;
constexpr std::uint32_t kMinusNine = 0xC1100000u;

constexpr std::uint32_t kNoneBits = 0x7F800000u;       // +infinity
constexpr std::uint32_t kNoneAboveBits = 0xFF800000u;  // -infinity

INSTANTIATE_TEST_SUITE_P(
    Table, ValueExtremes,
    ::testing::Values(ZeroExtremes{"-3e9 -2e9 -9999", 0xCF32D05Eu, 0xCEEE6B28u},
                      ZeroExtremes{"2e11 3e11 -9999", 0x523A43B7u, 0x528BB2C9u},
                      ZeroExtremes{"-9999 -9999 -9999", kNoneBits, kNoneAboveBits},
                      ZeroExtremes{"5 -9999 4.5", 0x40900000u, 0x40A00000u},
                      ZeroExtremes{"0 -0 1", kPlusZero, kOne},
                      ZeroExtremes{"-0 0 1", kMinusZero, kOne},
                      ZeroExtremes{"-1 -0 0", kMinusOne, kMinusZero},
                      ZeroExtremes{"-1 0 -0", kMinusOne, kPlusZero},
                      ZeroExtremes{"-9999 -0 0", kMinusZero, kMinusZero},
                      ZeroExtremes{"1 1 1 1 1 1 1 1 -0 0", kMinusZero, kOne},
                      ZeroExtremes{"1 1 1 0 1 1 1 1 1 -0", kPlusZero, kOne},
                      ZeroExtremes{"0 1 1 1 -0 1 1 1", kPlusZero, kOne},
                      ZeroExtremes{"-1 -1 -1 -0 -1 -1 -1 0", kMinusOne, kMinusZero},
                      ZeroExtremes{"-1 -2 -3 -4 -5 -6 -7 -8 -9 -0.0", kMinusNine, kMinusZero}));

TEST(LongToken, LongerTokenIsRejectedNamingTheFile) {
  for (std::size_t offset : {std::size_t{1000}, kGridReadBlockSize - 2000}) {
    BigGrid g = GridWithTokenAt(offset, LongOne(kMaxGridTokenLength + 1), 1.0f);
    TempDir dir;
    std::string path = dir.file("long.asc");
    WriteText(path, g.text);
    EXPECT_EQ(ErrorText<ConversionError>([&] { ReadGridFile(path); }),
              "Grid file " + path + " holds a token longer than 4096 characters")
        << "token at " << offset;
  }
}

// ---------------------------------------------------------------------------
// Independence of the C locale

TEST(Locale, CommaDecimalLocaleDoesNotChangeTheReading) {
  std::string saved = std::setlocale(LC_ALL, nullptr);
#ifdef _WIN32
  constexpr const char* kCommaLocale = "German_Germany.1252";
#else
  constexpr const char* kCommaLocale = "de_DE.UTF-8";
#endif
  if (std::setlocale(LC_ALL, kCommaLocale) == nullptr) {
    FAIL() << "The locale de_DE.UTF-8 is missing. Generate it with: "
              "sed -i 's/^# *de_DE.UTF-8/de_DE.UTF-8/' /etc/locale.gen && locale-gen";
  }
  // A locale that really decimal-commas, or the test proves nothing.
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ(probe, "1,5");

  GridRead got;
  std::string comma_error;
  std::string exact_error;
  try {
    got = ReadGridText(
        "columns 4\nrows 1\nleft -10.5\nbottom 2.5e1\ncell 0.25\nnodata -1\n"
        "1.5 -1 123.456 1.0000000596046447753906250000001\n");
    comma_error = ErrorText<ConvertError>([] { ParseGridFloat("1,5"); });
    exact_error = ErrorText<ConvertError>([] { ParseGridFloat("1.5,0000000000000000000001"); });
  } catch (...) {
    std::setlocale(LC_ALL, saved.c_str());
    throw;
  }
  std::setlocale(LC_ALL, saved.c_str());

  EXPECT_EQ(got.header.GridLeft, -10.5f);
  EXPECT_EQ(got.header.GridBottom, 25.0f);
  EXPECT_EQ(got.header.CellSize, 0.25f);
  EXPECT_EQ(got.cells, (std::vector<float>{1.5f, kNoDataMarker, 123.456f, 1.0f}));
  EXPECT_EQ(comma_error, "'1,5' is not a valid floating point value");
  EXPECT_EQ(exact_error, "'1.5,0000000000000000000001' is not a valid floating point value");
}

}  // namespace
}  // namespace kova
