#include "app/cli/info_command.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/platform/errors.h"

namespace kova::cli {
namespace {

// One printed item: its name and its value as text. A text value (the
// title) is printed in quotes in both forms.
enum class ValueKind { Number, NonFinite, Text };

struct InfoItem {
  const char* name;
  std::string value;
  ValueKind kind = ValueKind::Number;
};

std::string Printf(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Reals at full precision: 17 significant digits give back the same double.
std::string Real(double value) {
  return Printf("%.17g", value);
}

// PixelSizeKm is a 4-byte float; 9 significant digits give it back exactly.
std::string Single(float value) {
  return Printf("%.9g", static_cast<double>(value));
}

std::string Integer(int value) {
  return std::to_string(value);
}

InfoItem RealItem(const char* name, double value) {
  return {name, Real(value), std::isfinite(value) ? ValueKind::Number : ValueKind::NonFinite};
}

std::vector<InfoItem> InfoItems(const TKovaImg& image) {
  return {
      {"Status", Integer(image.Status())},
      {"ImageType", Integer(image.ImageType())},
      {"ProjectionType", Integer(image.ProjectionType())},
      {"Rows", Integer(image.Rows())},
      {"Columns", Integer(image.Columns())},
      {"Title", image.Title(), ValueKind::Text},
      RealItem("OriginLatitude", image.OriginLatitude()),
      RealItem("OriginLongitude", image.OriginLongitude()),
      RealItem("OriginColumn", image.OriginColumn()),
      RealItem("OriginRow", image.OriginRow()),
      RealItem("PixelWidth", image.PixelWidth()),
      RealItem("PixelHeight", image.PixelHeight()),
      RealItem("StdParallel1", image.StdParallel1()),
      RealItem("StdParallel2", image.StdParallel2()),
      {"MinCode", Integer(image.MinCode())},
      {"MaxCode", Integer(image.MaxCode())},
      {"NoDataCode", Integer(image.NoDataCode())},
      RealItem("ScaleFactor", image.ScaleFactor()),
      RealItem("ScaleOffset", image.ScaleOffset()),
      {"Decimals", Integer(image.Decimals())},
      {"PixelSizeKm", Single(image.PixelSizeKm()),
       std::isfinite(image.PixelSizeKm()) ? ValueKind::Number : ValueKind::NonFinite},
      RealItem("MinLatitude", image.MinLatitude()),
      RealItem("MaxLatitude", image.MaxLatitude()),
      RealItem("MinLongitude", image.MinLongitude()),
      RealItem("MaxLongitude", image.MaxLongitude()),
  };
}

std::string Text(const std::vector<InfoItem>& items) {
  std::string text;
  for (const InfoItem& item : items) {
    text += item.name;
    text += ": ";
    text += item.kind == ValueKind::Text ? "\"" + item.value + "\"" : item.value;
    text += '\n';
  }
  return text;
}

// JSON has no infinities or NaNs; such a value becomes null. (Header reals
// are always finite, and a summary that overflows fails the attach.)
std::string JsonValue(const InfoItem& item) {
  switch (item.kind) {
    case ValueKind::Text:
      return "\"" + JsonEscape(item.value) + "\"";
    case ValueKind::NonFinite:
      return "null";
    case ValueKind::Number:
      break;
  }
  return item.value;
}

std::string Json(const std::vector<InfoItem>& items) {
  std::string text = "{\n";
  for (std::size_t i = 0; i < items.size(); ++i) {
    const InfoItem& item = items[i];
    text += "  \"";
    text += item.name;
    text += "\": ";
    text += JsonValue(item);
    text += i + 1 < items.size() ? ",\n" : "\n";
  }
  text += "}\n";
  return text;
}

// Attaches `path`; an error that leaves says which file.
void Attach(TKovaImg& image, const std::string& path) {
  try {
    image.SetFileName(path);
  } catch (KovaError& error) {
    error.AddContext(path);
    throw;
  }
}

}  // namespace

std::string JsonEscape(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        escaped += "\\\"";
        break;
      case '\\':
        escaped += "\\\\";
        break;
      case '\b':
        escaped += "\\b";
        break;
      case '\f':
        escaped += "\\f";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      case '\t':
        escaped += "\\t";
        break;
      default:
        if (byte < 0x20 || byte >= 0x80) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(byte));
          escaped += buffer;
        } else {
          escaped += c;
        }
    }
  }
  return escaped;
}

std::string FormatInfoText(const TKovaImg& image) {
  return Text(InfoItems(image));
}

std::string FormatInfoJson(const TKovaImg& image) {
  return Json(InfoItems(image));
}

std::string FormatInvalidInfo(std::uint8_t status, bool json) {
  const std::vector<InfoItem> items{{"Status", Integer(status)}};
  return json ? Json(items) : Text(items);
}

std::string FormatLocation(double longitude, double latitude) {
  return Real(longitude) + " " + Real(latitude) + "\n";
}

std::string NotValidImageText(const std::string& file_name) {
  return "The file " + file_name + " is not a valid Kova image";
}

Subcommand AddInfoCommand(CLI::App& app, InfoOptions& options) {
  CLI::App* info =
      app.add_subcommand("info", "Show the header fields, pixel size and extent of a Kova image");
  info->add_option("IMAGE", options.image, "Kova image file (*.img)")->required();
  info->add_flag("--json", options.json, "Print one JSON object instead of Name: value lines");
  return {info, [&options] { return RunInfo(options); }};
}

Subcommand AddLocateCommand(CLI::App& app, LocateOptions& options) {
  CLI::App* locate = app.add_subcommand(
      "locate", "Print the longitude and latitude of a pixel position of a Kova image");
  locate->add_option("IMAGE", options.image, "Kova image file (*.img)")->required();
  locate->add_option("COLUMN", options.column, "Column, 0 at the left edge; fractions allowed")
      ->required();
  locate->add_option("ROW", options.row, "Row, 0 at the top edge; fractions allowed")->required();
  return {locate, [&options] { return RunLocate(options); }};
}

int RunInfo(const InfoOptions& options) {
  TKovaImg image;
  Attach(image, options.image);
  if (image.Status() != 1) {
    PrintAnswer(FormatInvalidInfo(image.Status(), options.json));
    throw KovaError(NotValidImageText(options.image));
  }
  PrintAnswer(options.json ? FormatInfoJson(image) : FormatInfoText(image));
  return 0;
}

int RunLocate(const LocateOptions& options) {
  TKovaImg image;
  Attach(image, options.image);
  if (image.Status() != 1) throw KovaError(NotValidImageText(options.image));
  double longitude = 0.0;
  double latitude = 0.0;
  image.PixelToLatLon(longitude, latitude, options.column, options.row);
  PrintAnswer(FormatLocation(longitude, latitude));
  return 0;
}

}  // namespace kova::cli
