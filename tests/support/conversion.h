// Helpers of the conversion tests: grid texts, template images, a raw reader
// of Kova image files that does not go through the image component, and a
// guard for the process's current directory.
#pragma once

#include <algorithm>  // std::fill of Untitled
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/pipeline/convert_entry.h"
#include "app/pipeline/series_plan.h"
#include "image/format.h"
#include "image/real48.h"
#include "image/template_image.h"
#include "support/open_handles.h"
#include "support/temp_dir.h"

namespace kova::testing {

// The first image of the input file `input` made as a run makes it (planned,
// then converted), handed back not yet in place.
inline SafeOutput ConvertFirstImage(TKovaImg& image, GridData& grid,
                                    const std::string& template_path, const std::string& input,
                                    const std::string& output,
                                    GridLimits limits = kImageGridLimits) {
  std::vector<SeriesEntry> series;
  PlanRules rules;
  rules.template_path = template_path;
  PlanInput(input, output, rules, series);
  return ConvertEntry(image, grid, {template_path, false, limits}, series.front());
}

// The text of a grid file; NaN cells are written as the no-data text.
inline std::string GridText(int cols, int rows, double left, double bottom, double cell,
                            const std::vector<double>& values,
                            const std::string& no_data = "-9999") {
  std::ostringstream text;
  text.precision(9);
  text << "columns " << cols << "\nrows " << rows << "\nleftedge " << left << "\nbottomedge "
       << bottom << "\ncell " << cell << "\nnodata " << no_data << "\n";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (std::isnan(values[i])) {
      text << no_data;
    } else {
      text << values[i];
    }
    text << ((i + 1) % static_cast<std::size_t>(cols) == 0 ? "\n" : " ");
  }
  return text.str();
}

// A template image of one pixel: the shipped template, of another image type
// or projection when told so.
inline void WriteTemplate(const std::string& path, std::uint8_t image_type = 200,
                          std::uint8_t projection = 3) {
  KovaHeader header = TemplateHeader();
  header.ImageType = image_type;
  header.ProjectionType = projection;
  WriteTemplateImage(path, header);
}

// A Kova image read from its bytes with this test's own decoding.
struct RawImage {
  std::vector<std::uint8_t> bytes;

  static double Real(const std::uint8_t* p) {
    if (p[0] == 0) return 0.0;
    std::uint64_t fraction = p[1] | (std::uint64_t{p[2]} << 8) | (std::uint64_t{p[3]} << 16) |
                             (std::uint64_t{p[4]} << 24) | (std::uint64_t{p[5] & 0x7Fu} << 32);
    double value = std::ldexp(1.0 + std::ldexp(static_cast<double>(fraction), -39), p[0] - 129);
    return (p[5] & 0x80u) ? -value : value;
  }
  int U8(std::size_t offset) const { return bytes.at(offset); }
  int I16(std::size_t offset) const {
    return static_cast<std::int16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
  }
  double RealAt(std::size_t offset) const { return Real(&bytes.at(offset)); }

  int ImageType() const { return U8(22); }
  int ProjectionType() const { return U8(23); }
  int Rows() const { return I16(30); }
  int Columns() const { return I16(32); }
  std::string Title() const { return std::string(bytes.begin() + 38, bytes.begin() + 118); }
  double OriginLatitude() const { return RealAt(120); }
  double OriginLongitude() const { return RealAt(126); }
  double OriginColumn() const { return RealAt(132); }
  double OriginRow() const { return RealAt(138); }
  double PixelWidth() const { return RealAt(144); }
  double PixelHeight() const { return RealAt(150); }
  double ScaleFactor() const { return RealAt(171); }
  double ScaleOffset() const { return RealAt(177); }
  int Pixel(int row, int col) const {
    return bytes.at(512 + static_cast<std::size_t>(row) * Columns() + col);
  }
};

inline RawImage ReadRawImage(const std::string& path) {
  return RawImage{ReadAllBytes(path)};
}

// The bytes of an image with its title blanked: the title names the input
// file, which differs between runs of the same field from other files.
inline std::vector<std::uint8_t> Untitled(std::vector<std::uint8_t> bytes) {
  constexpr std::size_t kTitleAt = 38, kTitleEnd = 118;
  if (bytes.size() >= kTitleEnd)
    std::fill(bytes.begin() + kTitleAt, bytes.begin() + kTitleEnd, ' ');
  return bytes;
}

// Restores the process's current directory when the test ends.
class CurrentDirGuard {
 public:
  CurrentDirGuard() : saved_(std::filesystem::current_path()) {}
  ~CurrentDirGuard() {
    std::error_code ec;
    std::filesystem::current_path(saved_, ec);
  }
  CurrentDirGuard(const CurrentDirGuard&) = delete;
  CurrentDirGuard& operator=(const CurrentDirGuard&) = delete;

 private:
  std::filesystem::path saved_;
};

}  // namespace kova::testing
