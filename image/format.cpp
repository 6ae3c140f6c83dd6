#include "image/format.h"

#include <algorithm>
#include <cstring>

namespace kova {
namespace {

constexpr std::array<int, 17> kImageTypes{0,   1,   6,   10,  11,  12,  13, 100, 101,
                                          106, 110, 111, 112, 113, 200, 14, 114};
constexpr std::array<int, 9> kProjections{0, 2, 3, 4, 5, 6, 7, 8, 9};

struct TypeDefaults {
  int image_type;
  std::uint8_t min_code, max_code, no_data_code;
  long double scale_factor, scale_offset;
  std::uint8_t decimals;
};

// Types 114 and 200 are handled apart: 114 derives its offset from the stored
// factor, 200 keeps the file's scaling.
constexpr std::array<TypeDefaults, 15> kTypeDefaults{{
    {0, 0, 255, 0, 1.0L, 0.0L, 0},
    {1, 2, 255, 0, 0.00390625L, -0.3203125L, 2},
    {6, 2, 255, 0, 0.01L, -1.0L, 2},
    {10, 0, 253, 254, 1.0L, 0.0L, 0},
    {11, 0, 253, 254, 4.0L, 3.0L, 1},
    {12, 0, 253, 254, 0.008L, -1.006L, 2},
    {13, 2, 253, 254, 0.00390625L, -0.3203125L, 2},
    {14, 0, 250, 254, 0.003L, 0.0L, 2},
    {100, 0, 255, 0, 2.0L, -256.0L, 1},
    {101, 2, 255, 0, 0.0078125L, -1.0L, 3},
    {106, 2, 255, 0, 0.02L, -2.56L, 3},
    {110, 0, 253, 254, 2.0L, -256.0L, 1},
    {111, 0, 253, 254, 8.0L, -1024.0L, 2},
    {112, 0, 253, 254, 0.008L, -1.024L, 3},
    {113, 2, 253, 254, 0.0078125L, -1.0L, 3},
}};

void PutInt16(std::uint8_t* at, std::int16_t value) {
  const auto u = static_cast<std::uint16_t>(value);
  at[0] = static_cast<std::uint8_t>(u);
  at[1] = static_cast<std::uint8_t>(u >> 8);
}

std::int16_t GetInt16(const std::uint8_t* at) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(at[0] | at[1] << 8));
}

// Decimals of a type 200 image from its value range 253 x ScaleFactor.
std::uint8_t DecimalsForRange(const KovaHeader& h) {
  const long double factor = DecodeReal48(h.ScaleFactor);
  const long double offset = DecodeReal48(h.ScaleOffset);
  const long double range = (factor * h.MaxCode + offset) - (factor * h.MinCode + offset);
  if (range <= 0.5L) return 3;
  if (range <= 5.0L) return 2;
  if (range <= 50.0L) return 1;
  return 0;
}

}  // namespace

const HeaderField* FindHeaderField(int number) noexcept {
  for (const HeaderField& f : kHeaderFields)
    if (f.number == number) return &f;
  return nullptr;
}

void StoreHeaderField(const KovaHeader& h, int number, HeaderBytes& bytes) noexcept {
  const HeaderField* field = FindHeaderField(number);
  if (!field) return;
  std::uint8_t* at = bytes.data() + field->offset;
  auto put_real = [at](const Real48& r) { std::memcpy(at, r.data(), r.size()); };
  switch (number) {
    case kFieldImageType:
      *at = h.ImageType;
      break;
    case kFieldProjectionType:
      *at = h.ProjectionType;
      break;
    case kFieldRows:
      PutInt16(at, h.Rows);
      break;
    case kFieldColumns:
      PutInt16(at, h.Columns);
      break;
    case kFieldTitle:
      std::memcpy(at, h.Title.data(), kTitleLength);
      break;
    case kFieldOriginLatitude:
      put_real(h.OriginLatitude);
      break;
    case kFieldOriginLongitude:
      put_real(h.OriginLongitude);
      break;
    case kFieldOriginColumn:
      put_real(h.OriginColumn);
      break;
    case kFieldOriginRow:
      put_real(h.OriginRow);
      break;
    case kFieldPixelWidth:
      put_real(h.PixelWidth);
      break;
    case kFieldPixelHeight:
      put_real(h.PixelHeight);
      break;
    case kFieldStdParallel1:
      put_real(h.StdParallel1);
      break;
    case kFieldStdParallel2:
      put_real(h.StdParallel2);
      break;
    case kFieldMinCode:
      *at = h.MinCode;
      break;
    case kFieldMaxCode:
      *at = h.MaxCode;
      break;
    case kFieldNoDataCode:
      *at = h.NoDataCode;
      break;
    case kFieldScaleFactor:
      put_real(h.ScaleFactor);
      break;
    case kFieldScaleOffset:
      put_real(h.ScaleOffset);
      break;
    case kFieldDecimals:
      *at = h.Decimals;
      break;
    default:
      break;
  }
}

KovaHeader DecodeHeader(const HeaderBytes& b) noexcept {
  KovaHeader h;
  auto real = [&b](std::size_t offset) {
    Real48 r;
    std::memcpy(r.data(), b.data() + offset, r.size());
    return r;
  };
  h.ImageType = b[22];
  h.ProjectionType = b[23];
  h.Rows = GetInt16(b.data() + 30);
  h.Columns = GetInt16(b.data() + 32);
  std::memcpy(h.Title.data(), b.data() + 38, kTitleLength);
  h.OriginLatitude = real(120);
  h.OriginLongitude = real(126);
  h.OriginColumn = real(132);
  h.OriginRow = real(138);
  h.PixelWidth = real(144);
  h.PixelHeight = real(150);
  h.StdParallel1 = real(156);
  h.StdParallel2 = real(162);
  h.MinCode = b[168];
  h.MaxCode = b[169];
  h.NoDataCode = b[170];
  h.ScaleFactor = real(171);
  h.ScaleOffset = real(177);
  h.Decimals = b[183];
  return h;
}

HeaderBytes EncodeHeader(const KovaHeader& h) noexcept {
  HeaderBytes bytes{};
  for (const HeaderField& f : kHeaderFields) StoreHeaderField(h, f.number, bytes);
  return bytes;
}

int ImageTypeByIndex(int position) noexcept {
  if (position < 1 || position > static_cast<int>(kImageTypes.size())) return -1;
  return kImageTypes[position - 1];
}

int ProjectionByIndex(int position) noexcept {
  if (position < 1 || position > static_cast<int>(kProjections.size())) return -1;
  return kProjections[position - 1];
}

bool IsValidImageType(std::uint8_t code) noexcept {
  return std::find(kImageTypes.begin(), kImageTypes.end(), code) != kImageTypes.end();
}

bool IsValidProjection(std::uint8_t code) noexcept {
  return std::find(kProjections.begin(), kProjections.end(), code) != kProjections.end();
}

bool IsValidHeader(const HeaderBytes& bytes) noexcept {
  return IsValidImageType(bytes[22]) && IsValidProjection(bytes[23]);
}

void ApplyTypeDefaults(KovaHeader& h) {
  if (h.ImageType == 200) {
    h.MinCode = 0;
    h.MaxCode = 253;
    h.NoDataCode = 254;
    if (h.Decimals == 0) h.Decimals = DecimalsForRange(h);
    return;
  }
  if (h.ImageType == 114) {
    h.MinCode = 0;
    h.MaxCode = 250;
    h.NoDataCode = 254;
    h.ScaleFactor = EncodeReal48(0.006L);
    h.ScaleOffset = EncodeReal48(DecodeReal48(h.ScaleFactor) * -128.0L);
    h.Decimals = 3;
    return;
  }
  const TypeDefaults* row = &kTypeDefaults[0];  // an unknown code takes type 0's row
  for (const TypeDefaults& d : kTypeDefaults)
    if (d.image_type == h.ImageType) row = &d;
  h.MinCode = row->min_code;
  h.MaxCode = row->max_code;
  h.NoDataCode = row->no_data_code;
  h.ScaleFactor = EncodeReal48(row->scale_factor);
  h.ScaleOffset = EncodeReal48(row->scale_offset);
  h.Decimals = row->decimals;
}

}  // namespace kova
