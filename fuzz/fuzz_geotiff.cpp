// The GeoTIFF reader on arbitrary bytes. The first byte's two low bits
// choose the band (1 to 4); the rest is the file.
//
// A grid the reader accepts must be whole: as many values and no-data flags
// as cells, finite edges and cell sizes above zero, and no value that is not
// finite. Its cells are then checked against the band read a second time
// through libtiff, strip by strip or tile by tile, each sample placed and
// decoded by the harness itself: a cell flagged as no data holds NaN or the
// no-data tag's value in the file, every other cell the file's sample as a
// 4-byte float, and a sample equal to an integer no-data value is flagged.
// Rows may come in file order or turned (a grid stored south to north).
#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>  // va_list of libtiff's message handlers
#include <cstddef>
#include <cstdint>
#include <cstdlib>  // std::strtod, std::strtold of the no-data tag
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/inputs/geotiff_reader.h"
#include "app/platform/base/errors.h"
#include "fuzz/fuzz_support.h"

namespace {

using kova::fuzz::Check;

// Grids above this many cells are opened but not read: a few bytes can
// declare 32767 x 32767 cells, which the reader rightly sets out to hold.
constexpr std::size_t kMaxCellsRead = std::size_t{1} << 20;

struct Sample {
  bool is_nan = false;
  bool integral = false;
  bool single = false;    // a 4-byte float, compared with the tag in its own type
  long double value = 0;  // exact for every integer sample
  float as_float = 0.0f;  // what the reader must store
};

Sample DecodeSample(const unsigned char* at, std::uint16_t format, std::uint16_t bits) {
  Sample s;
  auto take = [&](auto raw) {
    std::memcpy(&raw, at, sizeof raw);
    s.value = static_cast<long double>(raw);
    s.as_float = static_cast<float>(raw);
    s.integral = std::is_integral_v<decltype(raw)>;
    s.single = std::is_same_v<decltype(raw), float>;
    if constexpr (!std::is_integral_v<decltype(raw)>) s.is_nan = std::isnan(raw);
  };
  if (format == SAMPLEFORMAT_IEEEFP) {
    if (bits == 32) take(float{});
    if (bits == 64) take(double{});
  } else if (format == SAMPLEFORMAT_INT) {
    if (bits == 8) take(std::int8_t{});
    if (bits == 16) take(std::int16_t{});
    if (bits == 32) take(std::int32_t{});
    if (bits == 64) take(std::int64_t{});
  } else {
    if (bits == 8) take(std::uint8_t{});
    if (bits == 16) take(std::uint16_t{});
    if (bits == 32) take(std::uint32_t{});
    if (bits == 64) take(std::uint64_t{});
  }
  return s;
}

// The band as the file holds it, file row 0 first; none when libtiff's
// other interface cannot read it (then there is nothing to compare).
struct Band {
  std::uint32_t width = 0, height = 0;
  std::vector<Sample> samples;
  // The tag, when it reads as a number: as a double for float samples, in
  // extended precision (every 64-bit integer) for the others.
  std::optional<double> no_data;
  long double no_data_exact = 0;
};

int Quiet(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

std::optional<Band> ReadBandAgain(const std::string& path, int band) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
  TIFF* tif = TIFFOpenExt(path.c_str(), "rm", options);
  TIFFOpenOptionsFree(options);
  if (tif == nullptr) return std::nullopt;
  Band b;
  std::uint16_t samples = 1, bits = 0, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &b.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &b.height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  const char* tag = nullptr;
  if (TIFFGetField(tif, kova::inputs::kTiffNoDataTag, &tag) == 1 && tag != nullptr) {
    char* end = nullptr;
    const double v = std::strtod(tag, &end);
    if (end != tag) b.no_data = v;
    b.no_data_exact = std::strtold(tag, &end);
  }
  const std::size_t bytes = bits / 8;
  const bool separate = planar == PLANARCONFIG_SEPARATE;
  const std::size_t pixel = separate ? bytes : bytes * samples;
  const std::size_t offset = separate ? 0 : bytes * static_cast<std::size_t>(band - 1);
  const auto plane = static_cast<tsample_t>(separate ? band - 1 : 0);
  b.samples.resize(static_cast<std::size_t>(b.width) * b.height);
  bool read = true;
  if (TIFFIsTiled(tif)) {
    std::uint32_t tw = 0, th = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
    std::vector<unsigned char> tile(
        static_cast<std::size_t>(std::max<tmsize_t>(TIFFTileSize(tif), 0)));
    read = tw > 0 && th > 0 && tile.size() >= static_cast<std::size_t>(tw) * th * pixel;
    for (std::uint32_t y = 0; read && y < b.height; y += th) {
      for (std::uint32_t x = 0; read && x < b.width; x += tw) {
        read = TIFFReadTile(tif, tile.data(), x, y, 0, plane) >= 0;
        for (std::uint32_t r = 0; read && r < th && y + r < b.height; ++r) {
          for (std::uint32_t c = 0; c < tw && x + c < b.width; ++c) {
            b.samples[static_cast<std::size_t>(y + r) * b.width + x + c] =
                DecodeSample(tile.data() + (static_cast<std::size_t>(r) * tw + c) * pixel + offset,
                             format, bits);
          }
        }
      }
    }
  } else {
    std::uint32_t rows_per_strip = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
    rows_per_strip = std::min(std::max<std::uint32_t>(rows_per_strip, 1), b.height);
    const tmsize_t strip_size = TIFFStripSize(tif);
    std::vector<unsigned char> strip(static_cast<std::size_t>(std::max<tmsize_t>(strip_size, 0)));
    for (std::uint32_t y = 0; read && y < b.height; y += rows_per_strip) {
      const std::uint32_t rows = std::min(rows_per_strip, b.height - y);
      const tmsize_t got =
          TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, y, plane), strip.data(), strip_size);
      read = got >= 0 && static_cast<std::size_t>(got) >= rows * b.width * pixel;
      for (std::uint32_t r = 0; read && r < rows; ++r) {
        for (std::uint32_t c = 0; c < b.width; ++c) {
          b.samples[static_cast<std::size_t>(y + r) * b.width + c] = DecodeSample(
              strip.data() + (static_cast<std::size_t>(r) * b.width + c) * pixel + offset, format,
              bits);
        }
      }
    }
  }
  TIFFClose(tif);
  if (!read) return std::nullopt;
  return b;
}

// Whether grid row `row` holds file row `file_row` as the reader must.
bool RowMatches(const kova::GridData& grid, const Band& band, std::int32_t row,
                std::uint32_t file_row) {
  for (std::int32_t c = 0; c < grid.Cols; ++c) {
    const Sample& s =
        band.samples[static_cast<std::size_t>(file_row) * band.width + static_cast<std::size_t>(c)];
    bool equals_tag =
        band.no_data && !s.is_nan && s.value == (s.integral ? band.no_data_exact : *band.no_data);
    if (s.single && band.no_data) {
      const auto tag = static_cast<float>(*band.no_data);
      equals_tag =
          !s.is_nan && (std::isfinite(tag) || std::isinf(*band.no_data)) && s.as_float == tag;
    }
    if (grid.IsNoData(row, c)) {
      if (!s.is_nan && !equals_tag) return false;
      continue;
    }
    if (s.is_nan) return false;
    // An integer sample equal to an integer tag is no data; float samples
    // are compared in their own type, which the tag may not fit.
    if (s.integral && equals_tag) return false;
    if (std::bit_cast<std::uint32_t>(grid.at(row, c)) != std::bit_cast<std::uint32_t>(s.as_float)) {
      return false;
    }
  }
  return true;
}

void CheckGrid(const kova::GridData& grid, std::size_t cells, const std::string& path, int band) {
  kova::fuzz::CheckGridShape(grid, cells);
  const std::optional<Band> again = ReadBandAgain(path, band);
  if (!again) return;
  Check(again->width == static_cast<std::uint32_t>(grid.Cols) &&
            again->height == static_cast<std::uint32_t>(grid.Rows),
        "grid size differs from the file's");
  bool in_order = true, turned = true;
  for (std::int32_t r = 0; r < grid.Rows && (in_order || turned); ++r) {
    const auto file_row = static_cast<std::uint32_t>(r);
    in_order = in_order && RowMatches(grid, *again, r, file_row);
    turned = turned && RowMatches(grid, *again, grid.Rows - 1 - r, file_row);
  }
  Check(in_order || turned, "a cell differs from the file's sample read again");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  kova::inputs::InputOptions options;
  options.Band = 1 + (data[0] & 3);
  static const std::string path = kova::fuzz::Scratch().File("input.tif");
  kova::fuzz::WriteBytes(path, data + 1, size - 1);
  try {
    const auto source = kova::inputs::OpenGeoTiff(path, options);
    Check(source->GridCount() == 1 && source->NameSuffix(0).empty(),
          "a GeoTIFF holds other than one grid");
    const std::optional<std::size_t> cells = source->CellCount();
    Check(cells.has_value(), "a GeoTIFF does not tell its cell count");
    if (*cells > kMaxCellsRead) return 0;
    const kova::GridData grid = source->ReadGrid(0);
    CheckGrid(grid, *cells, path, options.Band);
  } catch (const kova::KovaError&) {
    // A refusal with its message: what most inputs get.
  }
  return 0;
}
