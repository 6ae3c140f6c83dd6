// `kova info` and `kova locate`: look inside a Kova image from the command
// line. `info` prints the attach result, every header field and the
// geolocation summary, as "Name: value" lines or as one JSON object;
// `locate` prints the longitude and latitude of a pixel position.
#pragma once

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
};

Subcommand AddInfoCommand(CLI::App& app, InfoOptions& options);
Subcommand AddLocateCommand(CLI::App& app, LocateOptions& options);

// Both print their result on standard output and return the exit code. An
// image that cannot be opened raises its FileError; one that is not a valid
// Kova image raises a KovaError naming the file (after `info` printed its
// Status).
int RunInfo(const InfoOptions& options);
int RunLocate(const LocateOptions& options);

// The text of `kova info`: one "Name: value" line per item, the Status
// first, then the header fields in header order, then the summary.
std::string FormatInfoText(const TKovaImg& image);
// The same items as one JSON object, one key per line.
std::string FormatInfoJson(const TKovaImg& image);
// The output of `info` for a file that is attached but not a valid image:
// its Status alone.
std::string FormatInvalidInfo(std::uint8_t status, bool json);

// The line of `kova locate`: longitude, a space, latitude.
std::string FormatLocation(double longitude, double latitude);

// A single-byte text as the contents of a JSON string: quotes, backslashes
// and control characters escaped, bytes from 0x80 up as \u00XX.
std::string JsonEscape(std::string_view text);

// The message of the error raised for an attached file that is not valid.
std::string NotValidImageText(const std::string& file_name);

}  // namespace kova::cli
