// A small bitmap font for the legend of a preview: 5 x 7 pixel glyphs of the
// printable ASCII characters, one blank column between characters.
#pragma once

#include <cstdint>
#include <string_view>

namespace kova {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = kGlyphWidth + 1;

// Whether pixel (x, y) of the glyph of `c` is set, x from the left and y
// from the top; characters outside 32..126 show an empty box.
bool GlyphPixel(char c, int x, int y) noexcept;

// Width in pixels of a line of text drawn at `scale` (no trailing gap).
int TextWidth(std::string_view text, int scale) noexcept;

}  // namespace kova
