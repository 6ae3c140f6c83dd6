// The Kova header: field table and offsets, encoding and decoding of the 512
// bytes, single-field stores, code tables, validity and type defaults.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "image/format.h"
#include "image/real48.h"

namespace kova {
namespace {

std::string Hex(const std::uint8_t* p, std::size_t n) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02X ", p[i]);
    s += buf;
  }
  if (!s.empty()) s.pop_back();
  return s;
}

std::string Hex(const Real48& r) {
  return Hex(r.data(), r.size());
}

// ---------------------------------------------------------------------------
// Field table.

struct FieldRow {
  int number;
  std::size_t offset;
  std::size_t width;
};

// The header layout, written out independently of the library's table.
const std::vector<FieldRow> kLayout = {
    {2, 22, 1},   {3, 23, 1},   {5, 30, 2},   {6, 32, 2},   {8, 38, 80},
    {10, 120, 6}, {11, 126, 6}, {12, 132, 6}, {13, 138, 6}, {14, 144, 6},
    {15, 150, 6}, {16, 156, 6}, {17, 162, 6}, {18, 168, 1}, {19, 169, 1},
    {20, 170, 1}, {21, 171, 6}, {22, 177, 6}, {23, 183, 1},
};

const FieldRow* LayoutRow(int number) {
  for (const FieldRow& r : kLayout)
    if (r.number == number) return &r;
  return nullptr;
}

TEST(HeaderFieldTest, TableMatchesTheLayout) {
  ASSERT_EQ(kHeaderFields.size(), kLayout.size());
  for (std::size_t i = 0; i < kLayout.size(); ++i) {
    SCOPED_TRACE(kLayout[i].number);
    EXPECT_EQ(kHeaderFields[i].number, kLayout[i].number);
    EXPECT_EQ(kHeaderFields[i].offset, kLayout[i].offset);
    EXPECT_EQ(kHeaderFields[i].width, kLayout[i].width);
  }
}

TEST(HeaderFieldTest, FindsEachNumberAndNothingForTheGaps) {
  for (int number = -2; number <= 30; ++number) {
    SCOPED_TRACE(number);
    const HeaderField* found = FindHeaderField(number);
    const FieldRow* row = LayoutRow(number);
    if (!row) {
      EXPECT_EQ(found, nullptr);
      continue;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->number, number);
    EXPECT_EQ(found->offset, row->offset);
    EXPECT_EQ(found->width, row->width);
  }
  EXPECT_EQ(FindHeaderField(INT_MIN), nullptr);
  EXPECT_EQ(FindHeaderField(INT_MAX), nullptr);
}

// ---------------------------------------------------------------------------
// Encoding and decoding the 512 bytes.

Real48 Raw(std::uint8_t first) {
  return {first,
          static_cast<std::uint8_t>(first + 1),
          static_cast<std::uint8_t>(first + 2),
          static_cast<std::uint8_t>(first + 3),
          static_cast<std::uint8_t>(first + 4),
          static_cast<std::uint8_t>(first + 5)};
}

// A header with a distinct, recognisable value in every field, negative
// integers and reals that are not canonical (zero exponent with other bits).
KovaHeader SampleHeader() {
  KovaHeader h;
  h.ImageType = 200;
  h.ProjectionType = 9;
  h.Rows = -2;         // FE FF
  h.Columns = 0x1234;  // 34 12
  for (std::size_t i = 0; i < kTitleLength; ++i)
    h.Title[i] = static_cast<char>(i == 79 ? 0xE9 : 0x21 + i);
  h.OriginLatitude = EncodeReal48(-45.5L);
  h.OriginLongitude = EncodeReal48(170.25L);
  h.OriginColumn = Raw(0x10);
  h.OriginRow = Raw(0x20);
  h.PixelWidth = Raw(0x30);
  h.PixelHeight = Raw(0x40);
  h.StdParallel1 = Raw(0x50);
  h.StdParallel2 = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  h.MinCode = 1;
  h.MaxCode = 252;
  h.NoDataCode = 253;
  h.ScaleFactor = Raw(0x60);
  h.ScaleOffset = Raw(0x70);
  h.Decimals = 7;
  return h;
}

// The bytes that field `number` of `h` occupies in the file.
std::vector<std::uint8_t> FieldBytes(const KovaHeader& h, int number) {
  auto real = [](const Real48& r) { return std::vector<std::uint8_t>(r.begin(), r.end()); };
  auto int16 = [](std::int16_t v) {
    const auto u = static_cast<std::uint16_t>(v);
    return std::vector<std::uint8_t>{static_cast<std::uint8_t>(u & 0xFF),
                                     static_cast<std::uint8_t>(u >> 8)};
  };
  switch (number) {
    case 2:
      return {h.ImageType};
    case 3:
      return {h.ProjectionType};
    case 5:
      return int16(h.Rows);
    case 6:
      return int16(h.Columns);
    case 8:
      return std::vector<std::uint8_t>(h.Title.begin(), h.Title.end());
    case 10:
      return real(h.OriginLatitude);
    case 11:
      return real(h.OriginLongitude);
    case 12:
      return real(h.OriginColumn);
    case 13:
      return real(h.OriginRow);
    case 14:
      return real(h.PixelWidth);
    case 15:
      return real(h.PixelHeight);
    case 16:
      return real(h.StdParallel1);
    case 17:
      return real(h.StdParallel2);
    case 18:
      return {h.MinCode};
    case 19:
      return {h.MaxCode};
    case 20:
      return {h.NoDataCode};
    case 21:
      return real(h.ScaleFactor);
    case 22:
      return real(h.ScaleOffset);
    case 23:
      return {h.Decimals};
    default:
      return {};
  }
}

// Header bytes laid out by hand from the layout table.
HeaderBytes LayOut(const KovaHeader& h, std::uint8_t fill) {
  HeaderBytes bytes;
  bytes.fill(fill);
  for (const FieldRow& r : kLayout) {
    const std::vector<std::uint8_t> v = FieldBytes(h, r.number);
    for (std::size_t i = 0; i < r.width; ++i) bytes[r.offset + i] = v[i];
  }
  return bytes;
}

TEST(HeaderCodingTest, EncodeWritesEveryFieldAtItsOffsetAndZerosElsewhere) {
  const KovaHeader h = SampleHeader();
  const HeaderBytes got = EncodeHeader(h);
  const HeaderBytes want = LayOut(h, 0x00);
  for (const FieldRow& r : kLayout)
    EXPECT_EQ(Hex(got.data() + r.offset, r.width), Hex(want.data() + r.offset, r.width))
        << "field " << r.number;
  EXPECT_EQ(Hex(got.data(), got.size()), Hex(want.data(), want.size()));
  // The integers are little-endian.
  EXPECT_EQ(got[30], 0xFE);
  EXPECT_EQ(got[31], 0xFF);
  EXPECT_EQ(got[32], 0x34);
  EXPECT_EQ(got[33], 0x12);
}

TEST(HeaderCodingTest, DecodeReadsEveryFieldFromItsOffset) {
  const KovaHeader h = SampleHeader();
  // The unused bytes carry something; decoding ignores them.
  EXPECT_EQ(DecodeHeader(LayOut(h, 0xC3)), h);
  EXPECT_EQ(DecodeHeader(LayOut(h, 0x00)), h);
}

TEST(HeaderCodingTest, IntegersDecodeSigned) {
  HeaderBytes bytes{};
  bytes[30] = 0x00;
  bytes[31] = 0x80;
  bytes[32] = 0xFF;
  bytes[33] = 0x7F;
  KovaHeader h = DecodeHeader(bytes);
  EXPECT_EQ(h.Rows, -32768);
  EXPECT_EQ(h.Columns, 32767);
  bytes[30] = 0x2C;
  bytes[31] = 0x01;
  bytes[32] = 0xFF;
  bytes[33] = 0xFF;
  h = DecodeHeader(bytes);
  EXPECT_EQ(h.Rows, 300);
  EXPECT_EQ(h.Columns, -1);
}

TEST(HeaderCodingTest, RoundTripKeepsEveryByteOfTheFields) {
  const KovaHeader h = SampleHeader();
  EXPECT_EQ(DecodeHeader(EncodeHeader(h)), h);
}

TEST(HeaderCodingTest, BytesOutsideTheFieldsComeOutZero) {
  HeaderBytes all_ones;
  all_ones.fill(0xFF);
  const HeaderBytes got = EncodeHeader(DecodeHeader(all_ones));
  std::vector<bool> in_field(kHeaderSize, false);
  for (const FieldRow& r : kLayout)
    for (std::size_t i = 0; i < r.width; ++i) in_field[r.offset + i] = true;
  std::size_t unused = 0;
  for (std::size_t i = 0; i < kHeaderSize; ++i) {
    EXPECT_EQ(got[i], in_field[i] ? 0xFF : 0x00) << "byte " << i;
    unused += !in_field[i];
  }
  // 0-21, 24-29, 34-37, 118-119 and 184-511.
  EXPECT_EQ(unused, 22u + 6u + 4u + 2u + 328u);
}

class StoreHeaderFieldTest : public ::testing::TestWithParam<int> {};

TEST_P(StoreHeaderFieldTest, TouchesExactlyTheFieldsBytes) {
  const int number = GetParam();
  const KovaHeader h = SampleHeader();
  constexpr std::uint8_t kBackground = 0xA5;
  HeaderBytes bytes;
  bytes.fill(kBackground);
  StoreHeaderField(h, number, bytes);
  const FieldRow* row = LayoutRow(number);
  const std::vector<std::uint8_t> value = FieldBytes(h, number);
  for (std::size_t i = 0; i < kHeaderSize; ++i) {
    if (row && i >= row->offset && i < row->offset + row->width)
      EXPECT_EQ(bytes[i], value[i - row->offset]) << "byte " << i;
    else
      EXPECT_EQ(bytes[i], kBackground) << "byte " << i;
  }
}

// Every field, the numbers that select nothing (0, 1, 4, 7, 9) and ones past
// the table.
INSTANTIATE_TEST_SUITE_P(AllNumbers, StoreHeaderFieldTest, ::testing::Range(-1, 26));

// ---------------------------------------------------------------------------
// Code tables and validity.

const std::vector<int> kImageTypeTable = {0,   1,   6,   10,  11,  12,  13, 100, 101,
                                          106, 110, 111, 112, 113, 200, 14, 114};
const std::vector<int> kProjectionTable = {0, 2, 3, 4, 5, 6, 7, 8, 9};

TEST(CodeTableTest, ImageTypesByPosition) {
  for (int position = 1; position <= 17; ++position)
    EXPECT_EQ(ImageTypeByIndex(position), kImageTypeTable[position - 1]) << position;
  for (int position : {INT_MIN, -1, 0, 18, 19, 255, INT_MAX})
    EXPECT_EQ(ImageTypeByIndex(position), -1) << position;
}

TEST(CodeTableTest, ProjectionsByPosition) {
  for (int position = 1; position <= 9; ++position)
    EXPECT_EQ(ProjectionByIndex(position), kProjectionTable[position - 1]) << position;
  for (int position : {INT_MIN, -1, 0, 10, 17, INT_MAX})
    EXPECT_EQ(ProjectionByIndex(position), -1) << position;
}

TEST(CodeTableTest, ValidCodesAreExactlyTheTables) {
  const std::set<int> types(kImageTypeTable.begin(), kImageTypeTable.end());
  const std::set<int> projections(kProjectionTable.begin(), kProjectionTable.end());
  for (int code = 0; code <= 255; ++code) {
    const auto c = static_cast<std::uint8_t>(code);
    EXPECT_EQ(IsValidImageType(c), types.count(code) == 1) << code;
    EXPECT_EQ(IsValidProjection(c), projections.count(code) == 1) << code;
  }
}

TEST(CodeTableTest, HeaderValidityLooksAtBytes22And23Only) {
  const std::set<int> types(kImageTypeTable.begin(), kImageTypeTable.end());
  const std::set<int> projections(kProjectionTable.begin(), kProjectionTable.end());
  for (std::uint8_t fill : {0x00, 0xFF}) {
    HeaderBytes bytes;
    bytes.fill(fill);
    for (int type = 0; type <= 255; ++type)
      for (int projection = 0; projection <= 255; ++projection) {
        bytes[22] = static_cast<std::uint8_t>(type);
        bytes[23] = static_cast<std::uint8_t>(projection);
        const bool want = types.count(type) == 1 && projections.count(projection) == 1;
        ASSERT_EQ(IsValidHeader(bytes), want) << "type " << type << " projection " << projection;
      }
  }
}

struct ValidityCase {
  const char* name;
  std::uint8_t image_type;
  std::uint8_t projection;
  bool valid;
};

void PrintTo(const ValidityCase& c, std::ostream* os) {
  *os << c.name;
}

class HeaderValidityTest : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(HeaderValidityTest, Decides) {
  const ValidityCase& c = GetParam();
  HeaderBytes bytes{};
  bytes[22] = c.image_type;
  bytes[23] = c.projection;
  EXPECT_EQ(IsValidHeader(bytes), c.valid);
}

INSTANTIATE_TEST_SUITE_P(Examples, HeaderValidityTest,
                         ::testing::Values(ValidityCase{"type_2_invalid", 2, 3, false},
                                           ValidityCase{"projection_1_invalid", 0, 1, false},
                                           ValidityCase{"projection_7_valid", 10, 7, true},
                                           ValidityCase{"projection_0_valid", 200, 0, true},
                                           ValidityCase{"last_type_114_valid", 114, 9, true},
                                           ValidityCase{"type_14_valid", 14, 2, true},
                                           ValidityCase{"projection_10_invalid", 200, 10, false},
                                           ValidityCase{"type_255_invalid", 255, 3, false}));

// ---------------------------------------------------------------------------
// Scaling defaults.

struct DefaultsRow {
  int image_type;
  std::uint8_t min_code, max_code, no_data_code;
  Real48 scale_factor, scale_offset;
  std::uint8_t decimals;
};

void PrintTo(const DefaultsRow& r, std::ostream* os) {
  *os << "type " << r.image_type;
}

constexpr Real48 kZero{0, 0, 0, 0, 0, 0};
constexpr Real48 kOne{0x81, 0, 0, 0, 0, 0};
constexpr Real48 kMinusOne{0x81, 0, 0, 0, 0, 0x80};
constexpr Real48 kTwo{0x82, 0, 0, 0, 0, 0};
constexpr Real48 kThree{0x82, 0, 0, 0, 0, 0x40};
constexpr Real48 kFour{0x83, 0, 0, 0, 0, 0};
constexpr Real48 kEight{0x84, 0, 0, 0, 0, 0};
constexpr Real48 kMinus256{0x89, 0, 0, 0, 0, 0x80};
constexpr Real48 kMinus1024{0x8B, 0, 0, 0, 0, 0x80};
constexpr Real48 k0_00390625{0x79, 0, 0, 0, 0, 0};
constexpr Real48 kMinus0_3203125{0x7F, 0, 0, 0, 0, 0xA4};
constexpr Real48 k0_0078125{0x7A, 0, 0, 0, 0, 0};
constexpr Real48 k0_01{0x7A, 0x71, 0x3D, 0x0A, 0xD7, 0x23};
constexpr Real48 k0_02{0x7B, 0x71, 0x3D, 0x0A, 0xD7, 0x23};
constexpr Real48 k0_008{0x7A, 0x8D, 0x97, 0x6E, 0x12, 0x03};
constexpr Real48 k0_003{0x78, 0x54, 0xE3, 0xA5, 0x9B, 0x44};
constexpr Real48 k0_006{0x79, 0x54, 0xE3, 0xA5, 0x9B, 0x44};
constexpr Real48 kMinus1_006{0x81, 0xE3, 0xA5, 0x9B, 0xC4, 0x80};
constexpr Real48 kMinus2_56{0x82, 0x71, 0x3D, 0x0A, 0xD7, 0xA3};
constexpr Real48 kMinus1_024{0x81, 0x8D, 0x97, 0x6E, 0x12, 0x83};
constexpr Real48 k0_006TimesMinus128{0x80, 0x54, 0xE3, 0xA5, 0x9B, 0xC4};

const DefaultsRow kDefaults[] = {
    {0, 0, 255, 0, kOne, kZero, 0},
    {1, 2, 255, 0, k0_00390625, kMinus0_3203125, 2},
    {6, 2, 255, 0, k0_01, kMinusOne, 2},
    {10, 0, 253, 254, kOne, kZero, 0},
    {11, 0, 253, 254, kFour, kThree, 1},
    {12, 0, 253, 254, k0_008, kMinus1_006, 2},
    {13, 2, 253, 254, k0_00390625, kMinus0_3203125, 2},
    {14, 0, 250, 254, k0_003, kZero, 2},
    {100, 0, 255, 0, kTwo, kMinus256, 1},
    {101, 2, 255, 0, k0_0078125, kMinusOne, 3},
    {106, 2, 255, 0, k0_02, kMinus2_56, 3},
    {110, 0, 253, 254, kTwo, kMinus256, 1},
    {111, 0, 253, 254, kEight, kMinus1024, 2},
    {112, 0, 253, 254, k0_008, kMinus1_024, 3},
    {113, 2, 253, 254, k0_0078125, kMinusOne, 3},
    {114, 0, 250, 254, k0_006, k0_006TimesMinus128, 3},
};

// A header whose scaling fields hold leftovers that the defaults replace.
KovaHeader HeaderOfType(std::uint8_t image_type) {
  KovaHeader h = SampleHeader();
  h.ImageType = image_type;
  h.MinCode = 77;
  h.MaxCode = 78;
  h.NoDataCode = 79;
  h.ScaleFactor = Raw(0x90);
  h.ScaleOffset = Raw(0xA0);
  h.Decimals = 9;
  return h;
}

void ExpectDefaults(std::uint8_t image_type, const DefaultsRow& row) {
  KovaHeader h = HeaderOfType(image_type);
  const KovaHeader before = h;
  ApplyTypeDefaults(h);
  EXPECT_EQ(h.MinCode, row.min_code);
  EXPECT_EQ(h.MaxCode, row.max_code);
  EXPECT_EQ(h.NoDataCode, row.no_data_code);
  EXPECT_EQ(Hex(h.ScaleFactor), Hex(row.scale_factor));
  EXPECT_EQ(Hex(h.ScaleOffset), Hex(row.scale_offset));
  EXPECT_EQ(h.Decimals, row.decimals);
  // Nothing but the six scaling fields changes.
  KovaHeader rest = h;
  rest.MinCode = before.MinCode;
  rest.MaxCode = before.MaxCode;
  rest.NoDataCode = before.NoDataCode;
  rest.ScaleFactor = before.ScaleFactor;
  rest.ScaleOffset = before.ScaleOffset;
  rest.Decimals = before.Decimals;
  EXPECT_EQ(rest, before);
}

class TypeDefaultsTest : public ::testing::TestWithParam<DefaultsRow> {};

TEST_P(TypeDefaultsTest, StoresTheDefaultsBytes) {
  const DefaultsRow& row = GetParam();
  ExpectDefaults(static_cast<std::uint8_t>(row.image_type), row);
}

INSTANTIATE_TEST_SUITE_P(EveryType, TypeDefaultsTest, ::testing::ValuesIn(kDefaults));

class UnknownTypeDefaultsTest : public ::testing::TestWithParam<int> {};

TEST_P(UnknownTypeDefaultsTest, TakesTheRowOfType0) {
  ExpectDefaults(static_cast<std::uint8_t>(GetParam()), kDefaults[0]);
}

INSTANTIATE_TEST_SUITE_P(NotInTheTable, UnknownTypeDefaultsTest,
                         ::testing::Values(2, 5, 7, 15, 99, 102, 115, 199, 201, 255));

TEST(TypeDefaultsTest, Type114OffsetIsTheStoredFactorTimesMinus128) {
  KovaHeader h = HeaderOfType(114);
  ApplyTypeDefaults(h);
  EXPECT_EQ(DecodeReal48(h.ScaleOffset), DecodeReal48(h.ScaleFactor) * -128.0L);
}

TEST(TypeDefaultsTest, ApplyingTwiceChangesNothing) {
  for (const DefaultsRow& row : kDefaults) {
    KovaHeader h = HeaderOfType(static_cast<std::uint8_t>(row.image_type));
    ApplyTypeDefaults(h);
    const KovaHeader once = h;
    ApplyTypeDefaults(h);
    EXPECT_EQ(h, once) << "type " << row.image_type;
  }
}

// Type 200: codes fixed, scaling kept, decimals derived when 0.

KovaHeader Type200(const Real48& factor, const Real48& offset, std::uint8_t decimals) {
  KovaHeader h = SampleHeader();
  h.ImageType = 200;
  h.MinCode = 100;  // leftovers: the range uses 0 and 253, not these
  h.MaxCode = 101;
  h.NoDataCode = 7;
  h.ScaleFactor = factor;
  h.ScaleOffset = offset;
  h.Decimals = decimals;
  return h;
}

TEST(Type200DefaultsTest, SetsTheCodesAndKeepsTheScalingBytes) {
  const Real48 factor{0x00, 0x12, 0x34, 0x56, 0x78, 0x9A};  // zero, but odd bits
  const Real48 offset = Raw(0x90);
  KovaHeader h = Type200(factor, offset, 5);
  const KovaHeader before = h;
  ApplyTypeDefaults(h);
  EXPECT_EQ(h.MinCode, 0);
  EXPECT_EQ(h.MaxCode, 253);
  EXPECT_EQ(h.NoDataCode, 254);
  EXPECT_EQ(Hex(h.ScaleFactor), Hex(factor));
  EXPECT_EQ(Hex(h.ScaleOffset), Hex(offset));
  EXPECT_EQ(h.Decimals, 5);
  h.MinCode = before.MinCode;
  h.MaxCode = before.MaxCode;
  h.NoDataCode = before.NoDataCode;
  EXPECT_EQ(h, before);
}

struct DecimalsCase {
  const char* name;
  long double factor;
  long double offset;
  std::uint8_t stored_decimals;
  std::uint8_t want;
};

void PrintTo(const DecimalsCase& c, std::ostream* os) {
  *os << c.name;
}

class Type200DecimalsTest : public ::testing::TestWithParam<DecimalsCase> {};

TEST_P(Type200DecimalsTest, Derives) {
  const DecimalsCase& c = GetParam();
  KovaHeader h = Type200(EncodeReal48(c.factor), EncodeReal48(c.offset), c.stored_decimals);
  ApplyTypeDefaults(h);
  EXPECT_EQ(h.Decimals, c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Type200DecimalsTest,
    ::testing::Values(DecimalsCase{"tenth_range_25_3", 0.1L, 0.0L, 0, 1},
                      DecimalsCase{"tenth_with_offset", 0.1L, -40.0L, 0, 1},
                      DecimalsCase{"thousandth_range_0_253", 0.001L, 0.0L, 0, 3},
                      DecimalsCase{"one_range_253", 1.0L, 0.0L, 0, 0},
                      DecimalsCase{"one_hundredth_range_2_53", 0.01L, 5.0L, 0, 2},
                      DecimalsCase{"stored_2_stays", 1.0L, 0.0L, 2, 2},
                      DecimalsCase{"stored_3_stays", 0.1L, 0.0L, 3, 3},
                      DecimalsCase{"negative_factor", -1.0L, 0.0L, 0, 3},
                      DecimalsCase{"negative_large_factor", -1000.0L, 7.0L, 0, 3},
                      DecimalsCase{"zero_factor", 0.0L, 12.0L, 0, 3}));

// The 6-byte reals next to boundary / 253: `below` gives 253 x factor <=
// boundary, `above` the next stored value up gives more.
struct Neighbours {
  Real48 below, above;
};

Real48 Step(const Real48& r, int direction) {
  std::uint64_t f = 0;
  for (int k = 5; k >= 1; --k) f = f << 8 | r[k];
  f &= (std::uint64_t{1} << 39) - 1;
  // Positive values only, away from exponent changes.
  f = direction > 0 ? f + 1 : f - 1;
  Real48 out = r;
  for (int k = 1; k <= 5; ++k) out[k] = static_cast<std::uint8_t>(f >> (8 * (k - 1)));
  return out;
}

Neighbours Around(long double boundary) {
  Real48 r = EncodeReal48(boundary / 253.0L);
  while (253.0L * DecodeReal48(r) > boundary) r = Step(r, -1);
  while (253.0L * DecodeReal48(Step(r, +1)) <= boundary) r = Step(r, +1);
  return {r, Step(r, +1)};
}

struct BoundaryCase {
  long double boundary;
  std::uint8_t at_or_below;
  std::uint8_t above;
  long double offset_for_exact;  // rounds (factor x 253 + offset) onto the boundary
};

void PrintTo(const BoundaryCase& c, std::ostream* os) {
  *os << "R " << c.boundary;
}

class Type200BoundaryTest : public ::testing::TestWithParam<BoundaryCase> {};

TEST_P(Type200BoundaryTest, NeighbouringFactors) {
  const BoundaryCase& c = GetParam();
  const Neighbours n = Around(c.boundary);
  ASSERT_LE(253.0L * DecodeReal48(n.below), c.boundary);
  ASSERT_GT(253.0L * DecodeReal48(n.above), c.boundary);
  KovaHeader h = Type200(n.below, kZero, 0);
  ApplyTypeDefaults(h);
  EXPECT_EQ(h.Decimals, c.at_or_below) << Hex(n.below);
  h = Type200(n.above, kZero, 0);
  ApplyTypeDefaults(h);
  EXPECT_EQ(h.Decimals, c.above) << Hex(n.above);
}

// The range is the difference of the highest and the lowest data value at
// extended precision; with a large offset the highest value rounds so that
// the range is the boundary itself, which still counts as inside the lower
// interval.
TEST_P(Type200BoundaryTest, RangeExactlyOnTheBoundary) {
  const BoundaryCase& c = GetParam();
  const Neighbours n = Around(c.boundary);
  const long double factor = DecodeReal48(n.above);
  const long double offset = c.offset_for_exact;
  ASSERT_EQ((factor * 253 + offset) - (factor * 0 + offset), c.boundary);
  KovaHeader h = Type200(n.above, EncodeReal48(offset), 0);
  ApplyTypeDefaults(h);
  EXPECT_EQ(h.Decimals, c.at_or_below);
}

INSTANTIATE_TEST_SUITE_P(Ranges, Type200BoundaryTest,
                         ::testing::Values(BoundaryCase{0.5L, 3, 2, std::ldexp(1.0L, 62)},
                                           BoundaryCase{5.0L, 2, 1, std::ldexp(1.0L, 63)},
                                           BoundaryCase{50.0L, 1, 0, std::ldexp(1.0L, 63)}));

}  // namespace
}  // namespace kova
