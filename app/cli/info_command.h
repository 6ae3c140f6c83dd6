// `kova info` and `kova locate`: look inside a Kova image from the command
// line. `info` prints the attach result, every header field and the
// geolocation summary, as "Name: value" lines or as one JSON object;
// `locate` prints the longitude and latitude of a pixel position.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/cli/cli_support.h"
#include "image/kova_img.h"

namespace kova::cli {

struct InfoOptions {
  std::string image;  // the image to attach
  bool json = false;  // one JSON object instead of "Name: value" lines
};

struct LocateOptions {
  std::string image;
  double column = 0.0;  // 0 at the left edge, fractions allowed
  double row = 0.0;     // 0 at the top edge, fractions allowed
  bool json = false;    // {"Longitude": ..., "Latitude": ...}
};

Subcommand AddInfoCommand(CLI::App& app, InfoOptions& options);
Subcommand AddLocateCommand(CLI::App& app, LocateOptions& options);

// Both print their result on standard output and return the exit code. An
// image that cannot be opened raises its FileError naming the file; one that
// is not a valid Kova image raises a KovaError naming the file (after `info`
// printed its Status). When only the geolocation summary of the attach
// fails, `info` prints the header with the summary unavailable, says why on
// standard error and returns kExitFailure; `locate` goes on to its pixel.
// `locate` raises UsageError for a negative or not-a-number position.
int RunInfo(const InfoOptions& options);
int RunLocate(const LocateOptions& options);

// The text of `kova info`: one "Name: value" line per item, the Status
// first, then the header fields in header order, then the summary (each
// summary item "unavailable" when `summary_failed`).
std::string FormatInfoText(const TKovaImg& image, bool summary_failed = false);
// The same items as one JSON object, one key per line (summary items null
// when `summary_failed`).
std::string FormatInfoJson(const TKovaImg& image, bool summary_failed = false);
// The output of `info` for a file that is attached but not a valid image:
// its Status alone.
std::string FormatInvalidInfo(std::uint8_t status, bool json);

// The answer of `kova locate`: "longitude latitude", or a JSON object.
std::string FormatLocation(double longitude, double latitude, bool json = false);

// The shortest decimal that reads back to `value`: the shortest of the
// 4-byte float when `value` is exactly one (as grid cell sizes and corners
// are stored), else the shortest that a 6-byte real rounds back to the same
// value when it is exactly one, else the shortest of the double.
std::string ShortestDecimal(double value);
// The shortest decimal of a 4-byte float.
std::string ShortestDecimal(float value);

// What a code means: "valid image", "latitude/longitude grid", ...; empty
// for a code without a name.
std::string StatusName(std::uint8_t status);
std::string ProjectionName(std::uint8_t projection_type);

// The title's bytes as UTF-8: kept when they are valid UTF-8, else read as
// Windows-1252.
std::string TitleAsUtf8(std::string_view title);

// UTF-8 text as the contents of a JSON string: quotes, backslashes and
// control characters (C0, DEL and C1) escaped.
std::string JsonEscape(std::string_view utf8);

// The message of the error raised for an attached file that is not valid.
std::string NotValidImageText(const std::string& file_name);

}  // namespace kova::cli
