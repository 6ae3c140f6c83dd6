// Attaching an arbitrary file as a Kova image: header checks, type defaults
// and the geolocation summary, then PixelToLatLon at positions taken from
// the bytes after the header (whole pixels near the image, fractions, and
// any double at all).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>  // max
#include <cmath>      // isnan
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/platform/base/errors.h"
#include "fuzz/fuzz_support.h"
#include "image/format.h"
#include "image/kova_img.h"

namespace {

using kova::fuzz::Check;

bool HasInverse(std::uint8_t projection) {
  switch (projection) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
    case 9:
      return true;
    default:
      return false;
  }
}

void Locate(const kova::TKovaImg& image, double column, double row) {
  double longitude = 0.0;
  double latitude = 0.0;
  try {
    image.PixelToLatLon(longitude, latitude, column, row);
  } catch (const kova::KovaError&) {
    return;  // a floating-point error of the projection
  }
  Check(!std::isnan(longitude) && !std::isnan(latitude), "a located position is not a number");
  if (!(column >= 0) || !(row >= 0)) {
    Check(longitude == -1.0 && latitude == -1.0, "a negative position was located");
  } else if (!HasInverse(image.ProjectionType())) {
    Check(longitude == 0.0 && latitude == 0.0, "a projection without inverse located a point");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kova::fuzz::SilenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = kova::fuzz::Scratch().File("image.img");
  kova::fuzz::WriteBytes(path, data, size);

  kova::TKovaImg image;
  try {
    image.SetFileName(path);
  } catch (const kova::KovaError&) {
    return 0;  // a floating-point error of the geolocation summary
  }
  Check(image.FileName() == path, "the attached file name was not kept");
  if (image.Status() != 1) {
    Check(image.Status() == 2, "an attach left a status other than 1 or 2");
    return 0;
  }
  Check(size >= kova::kHeaderSize, "a file shorter than a header was attached as valid");
  Check(!std::isnan(image.MinLatitude()) && !std::isnan(image.MaxLatitude()) &&
            !std::isnan(image.MinLongitude()) && !std::isnan(image.MaxLongitude()) &&
            !std::isnan(image.PixelSizeKm()),
        "the geolocation summary holds a value that is not a number");

  // Rows and Columns are signed 16-bit fields and may hold anything.
  const int columns = std::max<int>(image.Columns(), 0) + 2;
  const int rows = std::max<int>(image.Rows(), 0) + 2;
  FuzzedDataProvider positions(data + kova::kHeaderSize, size - kova::kHeaderSize);
  for (int i = 0; i < 8 && positions.remaining_bytes() > 0; ++i) {
    double column = 0.0;
    double row = 0.0;
    switch (positions.ConsumeIntegralInRange<int>(0, 2)) {
      case 0:  // whole pixels in and around the image
        column = positions.ConsumeIntegralInRange<int>(-2, columns);
        row = positions.ConsumeIntegralInRange<int>(-2, rows);
        break;
      case 1:  // fractions of a pixel
        column = positions.ConsumeIntegralInRange<int>(-2, columns) +
                 positions.ConsumeProbability<double>();
        row = positions.ConsumeIntegralInRange<int>(-2, rows) +
              positions.ConsumeProbability<double>();
        break;
      default:  // anything a double holds
        column = positions.ConsumeFloatingPoint<double>();
        row = positions.ConsumeFloatingPoint<double>();
        break;
    }
    Locate(image, column, row);
  }
  return 0;
}
