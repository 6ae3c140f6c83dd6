#include "app/features/preview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/features/bitmap_font.h"

namespace kova {
namespace {

constexpr std::array<std::uint8_t, 4> kTransparent{0, 0, 0, 0};
constexpr std::array<std::uint8_t, 4> kPaper{255, 255, 255, 255};
constexpr std::array<std::uint8_t, 4> kInk{0, 0, 0, 255};

// The font is drawn twice as large from this image width on.
constexpr int kLargeFontWidth = 480;
// The legend strip is at least this many font-scale units wide.
constexpr int kMinLegendWidth = 200;
// The title takes at most this many lines.
constexpr int kTitleLines = 2;

std::array<std::uint8_t, 4> Opaque(const Rgb& colour) {
  return {colour.r, colour.g, colour.b, 255};
}

// The source range [first, last) of output pixel i when n source pixels
// are spread over m output pixels: at least one source pixel each.
void SourceRange(int i, int n, int m, int& first, int& last) {
  first = static_cast<int>(static_cast<long long>(i) * n / m);
  last = std::max(first + 1, static_cast<int>(static_cast<long long>(i + 1) * n / m));
}

void DrawText(RgbaImage& canvas, std::string_view text, int left, int top, int scale) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int x0 = left + static_cast<int>(i) * kGlyphAdvance * scale;
    for (int gy = 0; gy < kGlyphHeight; ++gy) {
      for (int gx = 0; gx < kGlyphWidth; ++gx) {
        if (!GlyphPixel(text[i], gx, gy)) continue;
        for (int dy = 0; dy < scale; ++dy) {
          for (int dx = 0; dx < scale; ++dx) {
            const int x = x0 + gx * scale + dx;
            const int y = top + gy * scale + dy;
            if (x >= 0 && x < canvas.width && y >= 0 && y < canvas.height) {
              canvas.Set(x, y, kInk);
            }
          }
        }
      }
    }
  }
}

}  // namespace

std::string FormatDecodedValue(long double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*Lf", decimals, value);
  std::string text = buffer;
  if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

ValueRange ValueRangeOf(const ImageRaster& image) {
  int low = 256;
  int high = -1;
  for (const std::uint8_t code : image.codes) {
    if (!image.IsValue(code)) continue;
    low = std::min<int>(low, code);
    high = std::max<int>(high, code);
  }
  if (high < 0) return {};
  return {true, FormatDecodedValue(image.Value(low), image.header.Decimals),
          FormatDecodedValue(image.Value(high), image.header.Decimals)};
}

std::array<std::uint8_t, 4> RgbaImage::at(int x, int y) const {
  const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 4;
  return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
}

void RgbaImage::Set(int x, int y, std::array<std::uint8_t, 4> rgba) {
  std::copy(
      rgba.begin(), rgba.end(),
      pixels.begin() + static_cast<std::ptrdiff_t>((static_cast<std::size_t>(y) * width + x) * 4));
}

PreviewSize PreviewImageSize(int columns, int rows, int size) {
  if (size <= 0) return {columns, rows};
  const long double scale = static_cast<long double>(size) / std::max(columns, rows);
  const auto fit = [scale](int n) {
    return std::max(1, static_cast<int>(std::lround(static_cast<long double>(n) * scale)));
  };
  return {fit(columns), fit(rows)};
}

int ColourIndex(long double code, std::uint8_t min_code, std::uint8_t max_code) noexcept {
  if (max_code <= min_code) return 0;
  const long double t = (code - min_code) / (max_code - min_code);
  return static_cast<int>(std::clamp(std::lround(t * 255.0L), 0L, 255L));
}

LegendLabels LegendLabelsOf(const ImageRaster& image) {
  const KovaHeader& h = image.header;
  LegendLabels labels;
  labels.low = FormatDecodedValue(image.Value(h.MinCode), h.Decimals);
  labels.middle = FormatDecodedValue(image.Value((h.MinCode + h.MaxCode) / 2.0L), h.Decimals);
  labels.high = FormatDecodedValue(image.Value(h.MaxCode), h.Decimals);
  std::string title(h.Title.begin(), h.Title.end());
  const std::size_t end = title.find_last_not_of(std::string(" \0", 2));
  labels.title = end == std::string::npos ? std::string() : title.substr(0, end + 1);
  return labels;
}

std::vector<std::string> WrapTitle(const std::string& title, int width, int max_lines) {
  std::vector<std::string> lines;
  if (width <= 0) return lines;
  std::size_t start = 0;
  while (start < title.size() && static_cast<int>(lines.size()) < max_lines) {
    std::size_t length = std::min(title.size() - start, static_cast<std::size_t>(width));
    const bool last = static_cast<int>(lines.size()) + 1 == max_lines;
    if (start + length < title.size() && !last) {
      const std::size_t space = title.rfind(' ', start + length);
      if (space != std::string::npos && space > start) length = space - start;
    }
    lines.push_back(title.substr(start, length));
    start += length;
    while (start < title.size() && title[start] == ' ') ++start;
  }
  return lines;
}

LegendLayout LegendLayoutOf(const ImageRaster& image, const PreviewSize& image_size) {
  const LegendLabels labels = LegendLabelsOf(image);
  LegendLayout layout;
  const int s = layout.scale = image_size.width >= kLargeFontWidth ? 2 : 1;
  const int pad = 4 * s;
  const int labels_width = TextWidth(labels.low, s) + TextWidth(labels.middle, s) +
                           TextWidth(labels.high, s) + 4 * kGlyphAdvance * s;
  layout.width = std::max({image_size.width, kMinLegendWidth * s, labels_width + 2 * pad});
  layout.strip_top = image_size.height;
  layout.title_top = layout.strip_top + pad;
  layout.bar_left = pad;
  layout.bar_right = layout.width - pad - 1;
  const int title_width = (layout.width - 2 * pad + s) / (kGlyphAdvance * s);
  layout.title_lines = WrapTitle(labels.title, title_width, kTitleLines);
  const int title_rows = std::max<int>(1, static_cast<int>(layout.title_lines.size()));
  layout.bar_top = layout.title_top + title_rows * (kGlyphHeight + 3) * s - 3 * s + pad;
  layout.bar_height = 10 * s;
  layout.labels_top = layout.bar_top + layout.bar_height + 5 * s;
  layout.height = layout.labels_top + kGlyphHeight * s + pad;
  return layout;
}

RgbaImage RenderPreview(const ImageRaster& image, const PreviewOptions& options) {
  const KovaHeader& h = image.header;
  const ColourTable& table = ColourTableOf(options.colours);
  const PreviewSize size = PreviewImageSize(image.columns(), image.rows(), options.size);
  const LegendLayout layout = options.legend ? LegendLayoutOf(image, size) : LegendLayout{};

  RgbaImage canvas;
  canvas.width = options.legend ? layout.width : size.width;
  canvas.height = options.legend ? layout.height : size.height;
  canvas.pixels.assign(static_cast<std::size_t>(canvas.width) * canvas.height * 4, 0);
  const int image_left = (canvas.width - size.width) / 2;

  // Each preview pixel shows the mean code of the valid image pixels under
  // it (a box filter); none valid leaves it transparent.
  for (int y = 0; y < size.height; ++y) {
    int row_first = 0;
    int row_last = 0;
    SourceRange(y, image.rows(), size.height, row_first, row_last);
    for (int x = 0; x < size.width; ++x) {
      int column_first = 0;
      int column_last = 0;
      SourceRange(x, image.columns(), size.width, column_first, column_last);
      long long sum = 0;
      long long count = 0;
      for (int r = row_first; r < row_last; ++r) {
        for (int c = column_first; c < column_last; ++c) {
          const std::uint8_t code = image.code(r, c);
          if (!image.IsValue(code)) continue;
          sum += code;
          ++count;
        }
      }
      if (count == 0) {
        canvas.Set(image_left + x, y, kTransparent);
        continue;
      }
      const long double mean = static_cast<long double>(sum) / count;
      canvas.Set(image_left + x, y, Opaque(table[ColourIndex(mean, h.MinCode, h.MaxCode)]));
    }
  }
  if (!options.legend) return canvas;

  for (int y = layout.strip_top; y < canvas.height; ++y) {
    for (int x = 0; x < canvas.width; ++x) canvas.Set(x, y, kPaper);
  }
  const int s = layout.scale;
  const LegendLabels labels = LegendLabelsOf(image);
  for (std::size_t i = 0; i < layout.title_lines.size(); ++i) {
    DrawText(canvas, layout.title_lines[i], layout.bar_left,
             layout.title_top + static_cast<int>(i) * (kGlyphHeight + 3) * s, s);
  }

  const int bar_width = layout.bar_right - layout.bar_left + 1;
  for (int x = layout.bar_left; x <= layout.bar_right; ++x) {
    const int index =
        bar_width > 1
            ? static_cast<int>(std::lround(255.0L * (x - layout.bar_left) / (bar_width - 1)))
            : 0;
    for (int y = layout.bar_top; y < layout.bar_top + layout.bar_height; ++y) {
      canvas.Set(x, y, Opaque(table[index]));
    }
  }
  const int middle = (layout.bar_left + layout.bar_right) / 2;
  for (const int x : {layout.bar_left, middle, layout.bar_right}) {
    for (int y = layout.bar_top + layout.bar_height; y < layout.labels_top - s; ++y) {
      for (int dx = 0; dx < s; ++dx) canvas.Set(std::min(x + dx, layout.bar_right), y, kInk);
    }
  }
  DrawText(canvas, labels.low, layout.bar_left, layout.labels_top, s);
  DrawText(canvas, labels.middle, middle - TextWidth(labels.middle, s) / 2, layout.labels_top, s);
  DrawText(canvas, labels.high, layout.bar_right + 1 - TextWidth(labels.high, s), layout.labels_top,
           s);
  return canvas;
}

}  // namespace kova
