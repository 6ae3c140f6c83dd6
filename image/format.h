// The Kova image file: a 512-byte header followed by the raster, one byte
// per pixel, row 0 first. This header describes the header fields, their
// numbers and offsets, the valid type codes and the scaling defaults.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "image/real48.h"

namespace kova {

inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kTitleLength = 80;

using HeaderBytes = std::array<std::uint8_t, kHeaderSize>;

// Decoded copy of a header; the reals stay in their 6-byte form so that
// writing the copy back reproduces the file's bytes exactly.
struct KovaHeader {
  std::uint8_t ImageType = 0;
  std::uint8_t ProjectionType = 0;
  std::int16_t Rows = 0;
  std::int16_t Columns = 0;
  std::array<char, kTitleLength> Title{};
  Real48 OriginLatitude{};
  Real48 OriginLongitude{};
  Real48 OriginColumn{};
  Real48 OriginRow{};
  Real48 PixelWidth{};
  Real48 PixelHeight{};
  Real48 StdParallel1{};
  Real48 StdParallel2{};
  std::uint8_t MinCode = 0;
  std::uint8_t MaxCode = 0;
  std::uint8_t NoDataCode = 0;
  Real48 ScaleFactor{};
  Real48 ScaleOffset{};
  std::uint8_t Decimals = 0;

  bool operator==(const KovaHeader&) const = default;
};

// Field numbers name single header fields when one is rewritten in place.
// Numbers 0, 1, 4, 7 and 9 select nothing.
enum HeaderFieldNumber : int {
  kFieldImageType = 2,
  kFieldProjectionType = 3,
  kFieldRows = 5,
  kFieldColumns = 6,
  kFieldTitle = 8,
  kFieldOriginLatitude = 10,
  kFieldOriginLongitude = 11,
  kFieldOriginColumn = 12,
  kFieldOriginRow = 13,
  kFieldPixelWidth = 14,
  kFieldPixelHeight = 15,
  kFieldStdParallel1 = 16,
  kFieldStdParallel2 = 17,
  kFieldMinCode = 18,
  kFieldMaxCode = 19,
  kFieldNoDataCode = 20,
  kFieldScaleFactor = 21,
  kFieldScaleOffset = 22,
  kFieldDecimals = 23,
};

struct HeaderField {
  int number;
  std::size_t offset;
  std::size_t width;
};

// The fields in file order (offsets 22, 23, 30, 32, 38, 120, ..., 183).
inline constexpr std::array<HeaderField, 19> kHeaderFields{{
    {kFieldImageType, 22, 1},        {kFieldProjectionType, 23, 1}, {kFieldRows, 30, 2},
    {kFieldColumns, 32, 2},          {kFieldTitle, 38, 80},         {kFieldOriginLatitude, 120, 6},
    {kFieldOriginLongitude, 126, 6}, {kFieldOriginColumn, 132, 6},  {kFieldOriginRow, 138, 6},
    {kFieldPixelWidth, 144, 6},      {kFieldPixelHeight, 150, 6},   {kFieldStdParallel1, 156, 6},
    {kFieldStdParallel2, 162, 6},    {kFieldMinCode, 168, 1},       {kFieldMaxCode, 169, 1},
    {kFieldNoDataCode, 170, 1},      {kFieldScaleFactor, 171, 6},   {kFieldScaleOffset, 177, 6},
    {kFieldDecimals, 183, 1},
}};

// The entry of a field number, or nullptr for a number that selects nothing.
const HeaderField* FindHeaderField(int number) noexcept;

// Copies field `number` of `header` into its place in `bytes` (little-endian
// integers). A number that selects nothing changes nothing.
void StoreHeaderField(const KovaHeader& header, int number, HeaderBytes& bytes) noexcept;

// All fields decoded from the 512 header bytes.
KovaHeader DecodeHeader(const HeaderBytes& bytes) noexcept;

// The 512 header bytes of `header`: every field at its offset, zeros elsewhere.
HeaderBytes EncodeHeader(const KovaHeader& header) noexcept;

// Code tables addressed by position from 1; -1 outside 1..17 and 1..9.
int ImageTypeByIndex(int position) noexcept;
int ProjectionByIndex(int position) noexcept;
bool IsValidImageType(std::uint8_t code) noexcept;
bool IsValidProjection(std::uint8_t code) noexcept;

// True when the 512 bytes read from a file make it a valid Kova image.
bool IsValidHeader(const HeaderBytes& bytes) noexcept;

// Replaces the scaling fields (MinCode, MaxCode, NoDataCode, ScaleFactor,
// ScaleOffset, Decimals) by the defaults of the header's ImageType.
void ApplyTypeDefaults(KovaHeader& header);

}  // namespace kova
