// Preview: its size, colours of the lowest and highest code, transparency of
// no data, the box filter, and the legend, all checked on the PNG decoded
// again with the same library.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>

#include "app/features/bitmap_font.h"
#include "app/features/colour_maps.h"
#include "app/features/png_file.h"
#include "app/features/preview.h"
#include "app/platform/base/errors.h"
#include "feature_test_util.h"

namespace kova {
namespace {

using testing::MakeRaster;

using Pixel = std::array<std::uint8_t, 4>;

Pixel Opaque(const Rgb& c) {
  return {c.r, c.g, c.b, 255};
}

RgbaImage ThroughPng(const ImageRaster& image, const PreviewOptions& options) {
  return DecodePng(EncodePng(RenderPreview(image, options)));
}

// --- Size of the image part: columns, rows, --size -> width, height.
struct SizeCase {
  int columns, rows, size;
  PreviewSize expected;
};

class PreviewSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PreviewSizeTest, ScalesTheLongestSideToTheSize) {
  const SizeCase& c = GetParam();
  EXPECT_EQ(PreviewImageSize(c.columns, c.rows, c.size), c.expected);
  const ImageRaster image = MakeRaster(
      c.columns, c.rows, std::vector<std::uint8_t>(static_cast<std::size_t>(c.columns) * c.rows));
  const RgbaImage png = ThroughPng(image, {c.size, ColourMap::Viridis, false});
  EXPECT_EQ(png.width, c.expected.width);
  EXPECT_EQ(png.height, c.expected.height);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PreviewSizeTest,
                         ::testing::Values(SizeCase{60, 40, 0, {60, 40}},      // own size
                                           SizeCase{60, 40, 30, {30, 20}},     // halved
                                           SizeCase{60, 40, 480, {480, 320}},  // enlarged
                                           SizeCase{7, 3, 5, {5, 2}},          // rounded
                                           SizeCase{1, 300, 10, {1, 10}},      // at least 1
                                           SizeCase{800, 1, 100, {100, 1}}));

// --- Colour of single codes: the lowest code takes the first colour, the
// highest the last, no data is transparent.
struct ColourCase {
  ColourMap map;
  std::uint8_t code;
  Pixel expected;
};

class PreviewColourTest : public ::testing::TestWithParam<ColourCase> {};

TEST_P(PreviewColourTest, CodeGivesItsColour) {
  const ColourCase& c = GetParam();
  const RgbaImage png = ThroughPng(MakeRaster(1, 1, {c.code}), {0, c.map, false});
  ASSERT_EQ(png.width, 1);
  EXPECT_EQ(png.at(0, 0), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Codes, PreviewColourTest,
                         ::testing::Values(
                             // Viridis from dark violet (68, 1, 84) to yellow (253, 231, 37).
                             ColourCase{ColourMap::Viridis, 0, {68, 1, 84, 255}},
                             ColourCase{ColourMap::Viridis, 253, {253, 231, 37, 255}},
                             ColourCase{ColourMap::Viridis, 254, {0, 0, 0, 0}},  // NoDataCode
                             ColourCase{ColourMap::Viridis, 255, {0, 0, 0, 0}},  // above MaxCode
                             ColourCase{ColourMap::Grey, 0, {0, 0, 0, 255}},
                             ColourCase{ColourMap::Grey, 253, {255, 255, 255, 255}},
                             ColourCase{ColourMap::Grey, 1, {1, 1, 1, 255}},  // 255 / 253 = 1.008
                             ColourCase{ColourMap::Grey, 126, {127, 127, 127, 255}},
                             ColourCase{ColourMap::Grey, 254, {0, 0, 0, 0}}));

// --- Box filter: each preview pixel shows the mean of the valid codes
// under it.
TEST(PreviewBoxFilter, AveragesValidCodesAndLeavesEmptyBlocksTransparent) {
  // 6 x 2 codes shown as 3 x 1: blocks {0, 254 / 254, 254}, {100, 100 /
  // 100, 200} and {254, 254 / 254, 254}.
  const ImageRaster image =
      MakeRaster(6, 2, {0, 254, 100, 100, 254, 254, 254, 254, 100, 200, 254, 254});
  const RgbaImage png = ThroughPng(image, {3, ColourMap::Grey, false});
  ASSERT_EQ(png.width, 3);
  ASSERT_EQ(png.height, 1);
  EXPECT_EQ(png.at(0, 0), (Pixel{0, 0, 0, 255}));  // no-data pixels do not darken or lighten
  // mean 125 -> 125 x 255 / 253 = 125.99 -> 126
  EXPECT_EQ(png.at(1, 0), (Pixel{126, 126, 126, 255}));
  EXPECT_EQ(png.at(2, 0)[3], 0);
}

TEST(PreviewBoxFilter, EnlargingRepeatsPixels) {
  const RgbaImage png = ThroughPng(MakeRaster(2, 1, {0, 253}), {8, ColourMap::Grey, false});
  ASSERT_EQ(png.width, 8);
  ASSERT_EQ(png.height, 4);
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(png.at(x, 3)[0], x < 4 ? 0 : 255) << "column " << x;
  }
}

// --- Legend values: the decoded values of MinCode, the middle code and
// MaxCode, with the image's decimals.
struct LabelCase {
  long double factor, offset;
  std::uint8_t decimals;
  const char* low;
  const char* middle;
  const char* high;
};

class LegendLabelTest : public ::testing::TestWithParam<LabelCase> {};

TEST_P(LegendLabelTest, DecodesEndsAndMiddle) {
  const LabelCase& c = GetParam();
  const LegendLabels labels = LegendLabelsOf(MakeRaster(1, 1, {0}, c.factor, c.offset, c.decimals));
  EXPECT_EQ(labels.low, c.low);
  EXPECT_EQ(labels.middle, c.middle);
  EXPECT_EQ(labels.high, c.high);
}

INSTANTIATE_TEST_SUITE_P(
    Scalings, LegendLabelTest,
    ::testing::Values(LabelCase{2.0L, 0.0L, 0, "0", "253", "506"},
                      LabelCase{0.5L, 9.0L, 1, "9.0", "72.2", "135.5"},  // 72.25 shown as 72.2
                      LabelCase{0.1L, -12.65L, 2, "-12.65", "0.00", "12.65"},
                      LabelCase{0.001L, -0.0001L, 2, "0.00", "0.13", "0.25"},  // no "-0.00"
                      LabelCase{4.0L, -1000.0L, 0, "-1000", "-494", "12"}));

// --- The title in lines: title, characters per line -> lines (two at most).
struct WrapCase {
  const char* title;
  int width;
  std::vector<std::string> lines;
};

class WrapTitleTest : public ::testing::TestWithParam<WrapCase> {};

TEST_P(WrapTitleTest, BreaksAfterSpacesAndCutsTheLastLine) {
  EXPECT_EQ(WrapTitle(GetParam().title, GetParam().width, 2), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Titles, WrapTitleTest,
    ::testing::Values(WrapCase{"short", 10, {"short"}}, WrapCase{"", 10, {}},
                      WrapCase{"rain of May by", 8, {"rain of", "May by"}},
                      WrapCase{"abcdefghijkl", 5, {"abcde", "fghij"}},  // no space: cut
                      WrapCase{"one two three four", 8, {"one two", "three fo"}}));

// --- The legend drawn: strip size, colour bar ends, values and title in ink.
bool IsInk(const Pixel& p) {
  return p == Pixel{0, 0, 0, 255};
}

// Whether `text` is drawn with its top-left corner at (left, top): every
// glyph pixel in ink and every gap pixel not.
::testing::AssertionResult TextDrawnAt(const RgbaImage& png, const std::string& text, int left,
                                       int top, int scale) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    for (int gy = 0; gy < kGlyphHeight * scale; ++gy) {
      for (int gx = 0; gx < kGlyphWidth * scale; ++gx) {
        const int x = left + static_cast<int>(i) * kGlyphAdvance * scale + gx;
        const bool want = GlyphPixel(text[i], gx / scale, gy / scale);
        if (IsInk(png.at(x, top + gy)) != want) {
          return ::testing::AssertionFailure()
                 << "'" << text[i] << "' of \"" << text << "\" at pixel " << x << ", " << top + gy;
        }
      }
    }
  }
  return ::testing::AssertionSuccess();
}

class LegendDrawingTest : public ::testing::TestWithParam<int> {};

TEST_P(LegendDrawingTest, StripWithBarValuesAndTitle) {
  const int size = GetParam();
  ImageRaster image = MakeRaster(60, 40, std::vector<std::uint8_t>(2400, 254), 0.5L, 9.0L, 1);
  const PreviewSize part = PreviewImageSize(60, 40, size);
  const LegendLayout layout = LegendLayoutOf(image, part);
  const RgbaImage png = ThroughPng(image, {size, ColourMap::Viridis, true});
  ASSERT_EQ(png.width, layout.width);
  ASSERT_EQ(png.height, layout.height);
  EXPECT_GT(layout.height, part.height + layout.bar_height);
  EXPECT_GE(layout.width, part.width);

  const ColourTable& viridis = ColourTableOf(ColourMap::Viridis);
  const int bar_row = layout.bar_top + layout.bar_height / 2;
  EXPECT_EQ(png.at(layout.bar_left, bar_row), Opaque(viridis[0]));
  EXPECT_EQ(png.at(layout.bar_right, bar_row), Opaque(viridis[255]));
  EXPECT_EQ(png.at(0, layout.strip_top), (Pixel{255, 255, 255, 255}));  // paper
  EXPECT_EQ(png.at(0, 0)[3], 0);  // the image itself is all no data

  const int s = layout.scale;
  EXPECT_TRUE(TextDrawnAt(png, "9.0", layout.bar_left, layout.labels_top, s));
  EXPECT_TRUE(TextDrawnAt(png, "135.5", layout.bar_right + 1 - TextWidth("135.5", s),
                          layout.labels_top, s));
  const int middle = (layout.bar_left + layout.bar_right) / 2;
  EXPECT_TRUE(TextDrawnAt(png, "72.2", middle - TextWidth("72.2", s) / 2, layout.labels_top, s));
  EXPECT_TRUE(TextDrawnAt(png, "Tarvo2Kova", layout.bar_left, layout.title_top, s));
}

// Small images get the legend's least width and the small font; wide ones
// the large font.
INSTANTIATE_TEST_SUITE_P(Sizes, LegendDrawingTest, ::testing::Values(0, 120, 480));

TEST(PngFile, NotAPngIsAnError) {
  EXPECT_THROW(DecodePng("not a picture"), KovaError);
}

}  // namespace
}  // namespace kova
