#include "app/features/grid_export.h"

#include <array>
#include <charconv>  // std::to_chars: shortest round-trip text

#include "app/conversion.h"
#include "app/platform/base/errors.h"
#include "image/real48.h"
#include "projection/projections.h"

namespace kova {

std::string ShortestText(float value) {
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

MapPlacement MapPlacementOf(const ImageRaster& image) {
  const KovaHeader& h = image.header;
  const long double width = DecodeReal48(h.PixelWidth);
  const long double height = DecodeReal48(h.PixelHeight);
  if (!(width > 0.0L) || !(height > 0.0L)) {
    throw KovaError("The image " + image.file_name + " has no positive pixel size");
  }
  // The conversion puts map x = left + (column + 1) x width and
  // map y = bottom + (Rows - 1 - row) x height; for a latitude/longitude
  // grid map 0/0 is at OriginLongitude/OriginLatitude.
  long double x0 = 0.0L;
  long double y0 = 0.0L;
  if (!KeepsProjectionOrigin(h.ProjectionType)) {
    x0 = DecodeReal48(h.OriginLongitude);
    y0 = DecodeReal48(h.OriginLatitude);
  }
  return {x0 + (-1.0L - DecodeReal48(h.OriginColumn)) * width,
          y0 + (DecodeReal48(h.OriginRow) - (h.Rows - 1)) * height, width, height};
}

GridPlacement GridPlacementOf(const ImageRaster& image) {
  const KovaHeader& h = image.header;
  if (h.PixelWidth != h.PixelHeight) {
    throw KovaError("The image " + image.file_name +
                    " has pixels of different width and height; grid cells are square");
  }
  const MapPlacement placement = MapPlacementOf(image);
  return {RoundToFloat(placement.left, image.file_name),
          RoundToFloat(placement.bottom, image.file_name),
          RoundToFloat(placement.width, image.file_name)};
}

std::string ExportGridText(const ImageRaster& image, const std::string& no_data_text) {
  const GridPlacement placement = GridPlacementOf(image);

  // The text of every code that occurs: the no-data text for codes
  // without a value.
  std::array<bool, 256> present{};
  for (const std::uint8_t code : image.codes) present[code] = true;
  std::array<std::string, 256> texts;
  for (int code = 0; code < 256; ++code) {
    const auto c = static_cast<std::uint8_t>(code);
    if (!present[code]) continue;
    if (!image.IsValue(c)) {
      texts[code] = no_data_text;
      continue;
    }
    texts[code] = ShortestText(RoundToFloat(image.Value(c), image.file_name));
    if (texts[code] == no_data_text) {
      throw KovaError("The no-data text " + no_data_text + " is also a value of the image " +
                      image.file_name);
    }
  }

  std::string text;
  text.reserve(static_cast<std::size_t>(image.rows()) * image.columns() * 8 + 128);
  text += "columns " + std::to_string(image.columns()) + "\n";
  text += "rows " + std::to_string(image.rows()) + "\n";
  text += "leftedge " + ShortestText(placement.left) + "\n";
  text += "bottomedge " + ShortestText(placement.bottom) + "\n";
  text += "cell " + ShortestText(placement.cell) + "\n";
  text += "nodata " + no_data_text + "\n";
  for (int r = 0; r < image.rows(); ++r) {
    for (int c = 0; c < image.columns(); ++c) {
      if (c > 0) text += ' ';
      text += texts[image.code(r, c)];
    }
    text += '\n';
  }
  return text;
}

}  // namespace kova
