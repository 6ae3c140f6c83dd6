#include "app/cli/info_command.h"

#include <CLI/CLI.hpp>

#include <charconv>  // to_chars: shortest round-trip decimals
#include <cmath>
#include <cstdio>
#include <cstdlib>  // strtold
#include <vector>

#include "app/platform/base/errors.h"
#include "app/platform/base/printable.h"
#include "image/format.h"
#include "image/real48.h"
#include "projection/projections.h"

namespace kova::cli {
namespace {

// One printed item: its name and its value as text. A text value (the
// title, a code's name) is printed in quotes in both forms; an unavailable
// one as "unavailable" and null.
enum class ValueKind { Number, Unavailable, Text };

struct InfoItem {
  const char* name;
  std::string value;
  ValueKind kind = ValueKind::Number;
};

template <typename Number>
std::string ToChars(Number value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// True when `value` is exactly a 6-byte real.
bool IsReal48(long double value) {
  try {
    return RoundToReal48(value) == value;
  } catch (const KovaError&) {
    return false;  // beyond the 6-byte range
  }
}

bool ReadsBackAsReal48(const std::string& text, long double value) {
  return IsReal48(value) && RoundToReal48(std::strtold(text.c_str(), nullptr)) == value;
}

// The shortest decimal that a 6-byte real rounds back to `value`: the
// fewest significant digits that do, written as the shortest form of the
// double they give.
std::string ShortestReal48(double value) {
  for (int digits = 1; digits <= 17; ++digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    if (!ReadsBackAsReal48(buffer, value)) continue;
    const std::string tidy = ToChars(std::strtod(buffer, nullptr));
    return ReadsBackAsReal48(tidy, value) ? tidy : std::string(buffer);
  }
  return ToChars(value);
}

std::string Integer(int value) {
  return std::to_string(value);
}

// A code followed by its name: "3 (latitude/longitude grid)".
std::string Named(int code, const std::string& name) {
  return name.empty() ? Integer(code) : Integer(code) + " (" + name + ")";
}

InfoItem RealItem(const char* name, double value) {
  return {name, ShortestDecimal(value),
          std::isfinite(value) ? ValueKind::Number : ValueKind::Unavailable};
}

InfoItem SummaryItem(const char* name, std::string value, bool finite, bool summary_failed) {
  if (summary_failed || !finite) return {name, "unavailable", ValueKind::Unavailable};
  return {name, std::move(value)};
}

// The lowest and highest code that carries a value: within MinCode..MaxCode
// and not the NoDataCode; -1 when there is none.
int LowestValidCode(const TKovaImg& image) {
  for (int code = image.MinCode(); code <= image.MaxCode(); ++code) {
    if (code != image.NoDataCode()) return code;
  }
  return -1;
}

int HighestValidCode(const TKovaImg& image) {
  for (int code = image.MaxCode(); code >= image.MinCode(); --code) {
    if (code != image.NoDataCode()) return code;
  }
  return -1;
}

// The value a code stands for, code x ScaleFactor + ScaleOffset, as the
// 4-byte float that a conversion back to a grid writes ("1.25 (code 0)"; in
// JSON the number alone).
InfoItem CodeValueItem(const char* name, const TKovaImg& image, int code, bool json) {
  if (code < 0) return {name, "unavailable", ValueKind::Unavailable};
  const long double value =
      static_cast<long double>(code) * image.ScaleFactor() + image.ScaleOffset();
  const auto single = static_cast<float>(value);
  const std::string text =
      std::isfinite(single) ? ShortestDecimal(single) : ShortestDecimal(static_cast<double>(value));
  return {name, json ? text : text + " (code " + Integer(code) + ")"};
}

// What the extent's numbers are: the positions of the corner pixels as the
// georeference gives them, which a converted grid puts at the lower-right
// corners of its corner cells (x = left + (column + 1) x width, y = bottom +
// (rows - 1 - row) x height).
constexpr const char* kExtentOf =
    "pixel positions (0 and Columns-1, 0 and Rows-1): the lower-right corners of the corner "
    "cells of a converted grid";

std::vector<InfoItem> InfoItems(const TKovaImg& image, bool summary_failed, bool json) {
  const auto code = [json](const char* name, int value, const std::string& meaning) {
    return InfoItem{name, json ? Integer(value) : Named(value, meaning)};
  };
  std::vector<InfoItem> items{
      code("Status", image.Status(), StatusName(image.Status())),
      {"ImageType", Integer(image.ImageType())},
      code("ProjectionType", image.ProjectionType(), ProjectionName(image.ProjectionType())),
      {"Rows", Integer(image.Rows())},
      {"Columns", Integer(image.Columns())},
      {"Title", TitleAsUtf8(image.Title()), ValueKind::Text},
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
      CodeValueItem("MinValue", image, LowestValidCode(image), json),
      CodeValueItem("MaxValue", image, HighestValidCode(image), json),
      SummaryItem("PixelSizeKm", ShortestDecimal(image.PixelSizeKm()),
                  std::isfinite(image.PixelSizeKm()), summary_failed),
      {"ExtentOf", kExtentOf, ValueKind::Text},
  };
  const struct {
    const char* name;
    double value;
  } extent[] = {{"MinLatitude", image.MinLatitude()},
                {"MaxLatitude", image.MaxLatitude()},
                {"MinLongitude", image.MinLongitude()},
                {"MaxLongitude", image.MaxLongitude()}};
  for (const auto& [name, value] : extent) {
    items.push_back(
        SummaryItem(name, ShortestDecimal(value), std::isfinite(value), summary_failed));
  }
  if (json) {
    // The names of the codes get keys of their own, so that the codes stay numbers.
    items.insert(items.begin() + 1, {"StatusName", StatusName(image.Status()), ValueKind::Text});
    items.insert(items.begin() + 4,
                 {"ProjectionName", ProjectionName(image.ProjectionType()), ValueKind::Text});
  }
  return items;
}

std::string Text(const std::vector<InfoItem>& items) {
  std::string text;
  for (const InfoItem& item : items) {
    text += item.name;
    text += ": ";
    text += item.kind == ValueKind::Text && item.name == std::string_view("Title")
                ? "\"" + EscapeControlBytes(item.value) + "\""
                : EscapeControlBytes(item.value);
    text += '\n';
  }
  return text;
}

std::string JsonValue(const InfoItem& item) {
  switch (item.kind) {
    case ValueKind::Text:
      return "\"" + JsonEscape(item.value) + "\"";
    case ValueKind::Unavailable:
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

// Attaches `path`. A file that cannot be opened raises its error naming the
// file. When the header is valid but its geolocation summary fails, the
// reason comes back and the image stays attached with its header.
std::optional<std::string> Attach(TKovaImg& image, const std::string& path) {
  try {
    image.SetFileName(path);
  } catch (KovaError& error) {
    error.AddContext(path);
    if (image.Status() != 1) throw;
    return std::string(error.what());
  }
  return std::nullopt;
}

// The Unicode code points of the Windows-1252 bytes 0x80 to 0x9F; the five
// bytes without a character stand for the C1 control of the same number.
constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    char32_t c = lead;
    char32_t smallest = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, c = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, c = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, c = lead & 0x07, smallest = 0x10000;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

}  // namespace

std::string ShortestDecimal(float value) {
  return ToChars(value);
}

std::string ShortestDecimal(double value) {
  if (!std::isfinite(value)) return ToChars(value);
  const auto single = static_cast<float>(value);
  if (static_cast<double>(single) == value) return ShortestDecimal(single);
  if (IsReal48(value)) return ShortestReal48(value);
  return ToChars(value);
}

std::string StatusName(std::uint8_t status) {
  switch (status) {
    case 0:
      return "nothing attached";
    case 1:
      return "valid image";
    case 2:
      return "not a valid Kova image";
    default:
      return "";
  }
}

std::string ProjectionName(std::uint8_t projection_type) {
  if (const Projection* projection = FindProjection(projection_type)) return projection->name;
  // Codes of the format without an inverse, and codes outside it.
  return IsValidProjection(projection_type) ? "no inverse projection" : "not valid";
}

std::string TitleAsUtf8(std::string_view title) {
  if (IsValidUtf8(title)) return std::string(title);
  std::string text;
  text.reserve(title.size() * 2);
  for (const char byte : title) {
    const auto b = static_cast<unsigned char>(byte);
    AppendUtf8(text, b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char32_t{b});
  }
  return text;
}

std::string JsonEscape(std::string_view utf8) {
  std::string escaped;
  escaped.reserve(utf8.size());
  const auto unicode_escape = [&escaped](unsigned code) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", code);
    escaped += buffer;
  };
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
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
        if (byte < 0x20 || byte == 0x7F) {
          unicode_escape(byte);
        } else if (byte == 0xC2 && i + 1 < utf8.size() &&
                   static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
          unicode_escape(static_cast<unsigned char>(utf8[++i]));  // a C1 control
        } else {
          escaped += c;
        }
    }
  }
  return escaped;
}

std::string FormatInfoText(const TKovaImg& image, bool summary_failed) {
  return Text(InfoItems(image, summary_failed, false));
}

std::string FormatInfoJson(const TKovaImg& image, bool summary_failed) {
  return Json(InfoItems(image, summary_failed, true));
}

std::string FormatInvalidInfo(std::uint8_t status, bool json) {
  if (json) {
    return Json({{"Status", Integer(status)}, {"StatusName", StatusName(status), ValueKind::Text}});
  }
  return Text({{"Status", Named(status, StatusName(status))}});
}

std::string FormatLocation(double longitude, double latitude, bool json) {
  if (json) {
    return "{\"Longitude\": " + ShortestDecimal(longitude) +
           ", \"Latitude\": " + ShortestDecimal(latitude) + "}\n";
  }
  return ShortestDecimal(longitude) + " " + ShortestDecimal(latitude) + "\n";
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
  locate->add_flag("--json", options.json, "Print {\"Longitude\": ..., \"Latitude\": ...}");
  return {locate, [&options] { return RunLocate(options); }};
}

int RunInfo(const InfoOptions& options) {
  TKovaImg image;
  const std::optional<std::string> summary_failure = Attach(image, options.image);
  if (image.Status() != 1) {
    PrintAnswer(FormatInvalidInfo(image.Status(), options.json));
    throw KovaError(NotValidImageText(options.image));
  }
  const bool failed = summary_failure.has_value();
  PrintAnswer(options.json ? FormatInfoJson(image, failed) : FormatInfoText(image, failed));
  if (!failed) return kExitSuccess;
  PrintDiagnostic("geolocation summary unavailable: " + *summary_failure);
  return kExitFailure;
}

int RunLocate(const LocateOptions& options) {
  // The component answers -1, -1 for these; that is no position.
  if (!(options.column >= 0.0) || !(options.row >= 0.0)) {
    throw UsageError("a pixel position is a number of 0 or more (column " +
                     ShortestDecimal(options.column) + ", row " + ShortestDecimal(options.row) +
                     ")");
  }
  TKovaImg image;
  Attach(image, options.image);  // a failed summary does not concern one pixel
  if (image.Status() != 1) throw KovaError(NotValidImageText(options.image));
  if (options.column >= image.Columns() || options.row >= image.Rows()) {
    PrintDiagnostic("note: position beyond the image's " + Integer(image.Columns()) +
                    " columns and " + Integer(image.Rows()) + " rows");
  }
  double longitude = 0.0;
  double latitude = 0.0;
  try {
    image.PixelToLatLon(longitude, latitude, options.column, options.row);
  } catch (KovaError& error) {
    error.AddContext(options.image + ", column " + ShortestDecimal(options.column) + ", row " +
                     ShortestDecimal(options.row));
    throw;
  }
  PrintAnswer(FormatLocation(longitude, latitude, options.json));
  return kExitSuccess;
}

}  // namespace kova::cli
