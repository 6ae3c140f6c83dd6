// Goode's interrupted homolosine projection of the sphere R = 6370997 m
// (type 9), map coordinates in metres from latitude 0, longitude 0. Six
// lobes, each sinusoidal (Snyder, "Map Projections: A Working Manual",
// (30-3), (30-4)) from the equator to 40 deg 44' 11.8" and Mollweide
// ((31-5) to (31-7), shifted toward the equator by 0.0528035274542 R)
// poleward of it. Points in the interruptions or off the map give the
// no-data coordinate -9999, -9999.
#include <cmath>

#include "projection/helpers.h"
#include "projection/projectn.h"

namespace kova {
namespace {

constexpr long double kMollweideOffset = 0.0528035274542L;  // times R
constexpr long double kSqrt2 = 1.4142135623731L;
constexpr long double kMollweideXScale = 0.900316316158L;  // 2 sqrt2 / pi
constexpr long double kDomainLimit = 1.0L;

struct LongitudeRange {
  long double west;
  long double east;
};

// Longitudes that each region accepts, both ends inclusive.
constexpr LongitudeRange kAccepted[12] = {
    {-kPiTenDecimals, kGoodeNorthCut},          {-kPiTenDecimals, kGoodeNorthCut},
    {kGoodeNorthCut, kPiTenDecimals},           {kGoodeNorthCut, kPiTenDecimals},
    {-kPiTenDecimals, kGoodeSouthCutWest},      {kGoodeSouthCutWest, kGoodeSouthCutMiddle},
    {-kPiTenDecimals, kGoodeSouthCutWest},      {kGoodeSouthCutWest, kGoodeSouthCutMiddle},
    {kGoodeSouthCutMiddle, kGoodeSouthCutEast}, {kGoodeSouthCutEast, kPiTenDecimals},
    {kGoodeSouthCutMiddle, kGoodeSouthCutEast}, {kGoodeSouthCutEast, kPiTenDecimals},
};

bool is_sinusoidal(std::uint8_t region) {
  switch (region) {
    case 1:
    case 3:
    case 4:
    case 5:
    case 8:
    case 9:
      return true;
    default:
      return false;
  }
}

}  // namespace

// The sinusoidal latitude and the Mollweide longitude go into the outputs
// as soon as they are known and are read back from there, as 6-byte reals.
void goode_inverse(Real48& latitude, Real48& longitude, const KovaHeader&, long double x,
                   long double y) {
  constexpr long double R = kSphereRadiusMetres;
  const Real48 no_data = EncodeReal48(kNoDataCoordinate);
  latitude = no_data;
  longitude = no_data;

  const std::uint8_t region = goode_region(y / R, x / R);
  const long double lamc = goode_lobe_meridian(region);
  const long double xp = x - R * lamc;

  if (is_sinusoidal(region)) {
    latitude = EncodeReal48(y / R);
    longitude =
        EncodeReal48(wrap_lon(lamc + checked_div(xp, R * std::cos(DecodeReal48(latitude)))));
  } else {
    const long double v = (y + sign_of(y) * (kMollweideOffset * R)) / (kSqrt2 * R);
    if (std::fabs(v) > kDomainLimit) {  // above the top or below the bottom of the map
      latitude = no_data;
      longitude = no_data;
      return;
    }
    const long double theta = arcsine(v);
    longitude = EncodeReal48(lamc + checked_div(xp, std::cos(theta) * (kMollweideXScale * R)));
    latitude = EncodeReal48(arcsine((std::sin(2.0L * theta) + 2.0L * theta) / kPiTenDecimals));
  }

  // Interruptions, and points left or right of the map.
  const long double lon = DecodeReal48(longitude);
  if (lon < kAccepted[region].west || lon > kAccepted[region].east) {
    latitude = no_data;
    longitude = no_data;
    return;
  }
  longitude = EncodeReal48(DecodeReal48(longitude) / kDegToRad);
  latitude = EncodeReal48(DecodeReal48(latitude) / kDegToRad);
}

}  // namespace kova
