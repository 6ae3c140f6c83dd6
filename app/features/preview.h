// The preview of a Kova image: its codes through a colour map, no-data
// pixels transparent, optionally resized, optionally with a legend strip
// below (title, colour bar, decoded values at both ends and the middle).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/features/colour_maps.h"
#include "app/features/image_raster.h"

namespace kova {

struct PreviewOptions {
  int size = 0;  // the longest side in pixels; 0 keeps the image's own size
  ColourMap colours = ColourMap::Viridis;
  bool legend = false;
};

// 8-bit RGBA pixels, row 0 at the top.
struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // width x height x 4

  std::array<std::uint8_t, 4> at(int x, int y) const;
  void Set(int x, int y, std::array<std::uint8_t, 4> rgba);
};

struct PreviewSize {
  int width = 0;
  int height = 0;
  bool operator==(const PreviewSize&) const = default;
};

// The size of the image part of a preview: the image's own size for `size`
// 0, else scaled so that its longest side is `size` (at least 1 x 1).
PreviewSize PreviewImageSize(int columns, int rows, int size);

// The colour table entry of a (mean) code: MinCode gives entry 0, MaxCode
// entry 255, linearly in between.
int ColourIndex(long double code, std::uint8_t min_code, std::uint8_t max_code) noexcept;

// The texts of the legend: values of MinCode, of the middle code and of
// MaxCode with the image's Decimals, and the title without trailing blanks.
struct LegendLabels {
  std::string low;
  std::string middle;
  std::string high;
  std::string title;
};
LegendLabels LegendLabelsOf(const ImageRaster& image);

// The title in lines of at most `width` characters, broken after spaces
// where it can be; at most `max_lines` lines, the last one cut.
std::vector<std::string> WrapTitle(const std::string& title, int width, int max_lines);

// Where the parts of the legend lie in a preview (for drawing and checking).
struct LegendLayout {
  int scale = 1;      // font scale
  int strip_top = 0;  // first row of the strip
  int title_top = 0;  // first row of the title text
  std::vector<std::string> title_lines;
  int bar_left = 0;    // first column of the colour bar
  int bar_right = 0;   // last column of the colour bar
  int bar_top = 0;     // first row of the colour bar
  int bar_height = 0;  // rows of the colour bar
  int labels_top = 0;  // first row of the value labels
  int width = 0;       // width of the whole preview
  int height = 0;      // height of the whole preview
};
LegendLayout LegendLayoutOf(const ImageRaster& image, const PreviewSize& image_size);

// The smallest and largest value the image's pixels hold, as texts with
// the image's Decimals; `valid` false when no pixel holds a value.
struct ValueRange {
  bool valid = false;
  std::string low;
  std::string high;
};
ValueRange ValueRangeOf(const ImageRaster& image);

// A decoded value with `decimals` places; a value that shows as zero shows
// without a minus sign.
std::string FormatDecodedValue(long double value, int decimals);

RgbaImage RenderPreview(const ImageRaster& image, const PreviewOptions& options);

}  // namespace kova
