// A whole Kova image in memory: its header, as the image component holds it
// once attached (the scaling defaults of its type applied), and its pixel
// codes row by row. Preview and export work from this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/format.h"

namespace kova {

struct ImageRaster {
  std::string file_name;
  KovaHeader header;                // type defaults applied
  std::vector<std::uint8_t> codes;  // Rows x Columns, row 0 (top) first

  int rows() const noexcept { return header.Rows; }
  int columns() const noexcept { return header.Columns; }
  std::uint8_t code(int row, int column) const { return codes[row * columns() + column]; }

  // A code carries a value when it lies within MinCode..MaxCode and is not
  // the NoDataCode.
  bool IsValue(std::uint8_t code) const noexcept;
  // The data value of a code: code x ScaleFactor + ScaleOffset, at extended
  // precision from the stored 6-byte reals.
  long double Value(long double code) const noexcept;
};

// Reads a Kova image. Raises the FileError of the open or of a raster that
// ends early ("Read beyond end of file"), and a KovaError for a file that is
// not a valid Kova image or whose size has no pixels; each names the file.
ImageRaster ReadImageRaster(const std::string& file_name);

// The message for a file that is not a valid Kova image.
std::string NotKovaImageText(const std::string& file_name);

}  // namespace kova
