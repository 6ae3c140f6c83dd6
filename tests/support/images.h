// Kova images written byte by byte: a header and the raster behind it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/format.h"
#include "support/temp_dir.h"

namespace kova::testing {

// A header of image type 200 in `projection`, `rows` x `columns`, titled
// `title` (padded with spaces); every other field zero.
inline KovaHeader ImageHeader(std::uint8_t projection, std::int16_t rows, std::int16_t columns,
                              const std::string& title = "") {
  KovaHeader h;
  h.ImageType = 200;
  h.ProjectionType = projection;
  h.Rows = rows;
  h.Columns = columns;
  h.Title.fill(' ');
  for (std::size_t i = 0; i < title.size() && i < h.Title.size(); ++i) h.Title[i] = title[i];
  return h;
}

// Writes `h` and `raster_bytes` bytes of `fill` behind it; by default one
// no-data code a pixel.
inline void WriteImage(const std::string& path, const KovaHeader& h,
                       std::optional<std::size_t> raster_bytes = std::nullopt,
                       std::uint8_t fill = 254) {
  const HeaderBytes header = EncodeHeader(h);
  std::vector<std::uint8_t> bytes(
      header.size() + raster_bytes.value_or(static_cast<std::size_t>(h.Rows * h.Columns)), fill);
  std::copy(header.begin(), header.end(), bytes.begin());
  WriteAllBytes(path, bytes);
}

}  // namespace kova::testing
