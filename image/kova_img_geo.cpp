// Pixel positions to geographic coordinates, and the extent and pixel size
// that every successful attach works out.
#include <cmath>    // cosl, isinf
#include <numbers>  // pi_v

#include "app/platform/base/errors.h"
#include "image/kova_img.h"
#include "projection/helpers.h"  // checked_div
#include "projection/projectn.h"

namespace kova {
namespace {

constexpr long double kPiFull = std::numbers::pi_v<long double>;
// Kilometres per degree of a great circle of 40000 km, as 4000 / 36.
constexpr long double kKmPerDegreeNumerator = 4000.0L;
constexpr long double kKmPerDegreeDenominator = 36.0L;

}  // namespace

void TKovaImg::PixelToLatLon(double& longitude, double& latitude, double column, double row) const {
  if (!(row >= 0) || !(column >= 0)) {  // negative or not a number
    longitude = -1.0;
    latitude = -1.0;
    return;
  }
  const Real48 row48 = EncodeReal48(row);
  const Real48 column48 = EncodeReal48(column);
  Real48 lat48{};
  Real48 lon48{};
  pixel_to_lat_lon(lat48, lon48, header_, row48, column48);
  longitude = static_cast<double>(DecodeReal48(lon48));
  latitude = static_cast<double>(DecodeReal48(lat48));
}

void TKovaImg::ComputeGeolocationSummary() {
  const int rows = props_.Rows;
  const int columns = props_.Columns;
  const int middle = (rows - 1) / 2;  // truncated toward zero

  double left = 0, right = 0, phi = 0, unused = 0;
  PixelToLatLon(left, unused, 0, middle);
  PixelToLatLon(right, phi, columns - 1, middle);

  const long double span = (static_cast<long double>(right) - left) * kKmPerDegreeNumerator;
  const long double divisor = static_cast<long double>(columns) * kKmPerDegreeDenominator;
  const long double size = cosl(phi * kPiFull / 180.0L) * checked_div(span, divisor);
  const auto size_float = static_cast<float>(size);
  if (std::isinf(size_float) && !std::isinf(size)) throw FloatOverflowError();
  pixel_size_km_ = size_float;

  const double corners[4][2] = {
      {0.0, 0.0}, {0.0, rows - 1.0}, {columns - 1.0, 0.0}, {columns - 1.0, rows - 1.0}};
  double lon = 0, lat = 0;
  PixelToLatLon(lon, lat, corners[0][0], corners[0][1]);
  double min_lat = lat, max_lat = lat, min_lon = lon, max_lon = lon;
  for (int i = 1; i < 4; ++i) {
    PixelToLatLon(lon, lat, corners[i][0], corners[i][1]);
    if (lat < min_lat) min_lat = lat;
    if (lat > max_lat) max_lat = lat;
    if (lon < min_lon) min_lon = lon;
    if (lon > max_lon) max_lon = lon;
  }
  min_latitude_ = min_lat;
  max_latitude_ = max_lat;
  min_longitude_ = min_lon;
  max_longitude_ = max_lon;
}

}  // namespace kova
