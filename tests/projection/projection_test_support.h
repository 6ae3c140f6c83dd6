// Shared pieces of the projection tests: headers built for a test, calls of
// an inverse or of the dispatcher with decoded results, angle helpers and
// the check of an error's type and exact text.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>  // full-precision pi for the independent forward projections
#include <ostream>
#include <sstream>  // worst errors as test properties
#include <string>

#include "app/platform/base/errors.h"
#include "image/format.h"
#include "image/real48.h"
#include "projection/projectn.h"

namespace kova::testing {

inline constexpr long double kPiFull = std::numbers::pi_v<long double>;
inline long double Rad(long double degrees) {
  return degrees * kPiFull / 180.0L;
}
inline long double Deg(long double radians) {
  return radians * 180.0L / kPiFull;
}

// Difference of two longitudes in degrees, folded into [-180, 180).
inline long double LonDiff(long double a, long double b) {
  return std::remainder(a - b, 360.0L);
}

// A header of the given projection whose georeference makes column = map x
// and row = -map y (origin pixel 0, 0 and pixel size 1 in the map unit).
inline KovaHeader MakeHeader(std::uint8_t projection, long double origin_latitude = 0.0L,
                             long double origin_longitude = 0.0L, long double parallel1 = 0.0L,
                             long double parallel2 = 0.0L) {
  KovaHeader header;
  header.ImageType = 200;
  header.ProjectionType = projection;
  header.OriginLatitude = EncodeReal48(origin_latitude);
  header.OriginLongitude = EncodeReal48(origin_longitude);
  header.StdParallel1 = EncodeReal48(parallel1);
  header.StdParallel2 = EncodeReal48(parallel2);
  header.OriginColumn = EncodeReal48(0.0L);
  header.OriginRow = EncodeReal48(0.0L);
  header.PixelWidth = EncodeReal48(1.0L);
  header.PixelHeight = EncodeReal48(1.0L);
  return header;
}

struct LatLon {
  long double lat;
  long double lon;
};

using Inverse = void (*)(Real48&, Real48&, const KovaHeader&, long double, long double);

inline LatLon Invert(Inverse inverse, const KovaHeader& header, long double x, long double y) {
  Real48 lat{};
  Real48 lon{};
  inverse(lat, lon, header, x, y);
  return {DecodeReal48(lat), DecodeReal48(lon)};
}

// Map position (x, y) through pixel_to_lat_lon with a MakeHeader georeference;
// the pixel position is rounded to 6-byte reals on the way.
inline LatLon ThroughDispatch(const KovaHeader& header, long double x, long double y) {
  Real48 lat{};
  Real48 lon{};
  pixel_to_lat_lon(lat, lon, header, EncodeReal48(-y), EncodeReal48(x));
  return {DecodeReal48(lat), DecodeReal48(lon)};
}

// Runs `call`, which must raise the error type E with exactly `text`.
template <typename E>
::testing::AssertionResult RaisesWithText(const std::function<void()>& call,
                                          const std::string& text) {
  try {
    call();
  } catch (const E& error) {
    if (error.what() == text) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "raised \"" << error.what() << "\", expected \"" << text << "\"";
  } catch (const std::exception& error) {
    return ::testing::AssertionFailure() << "raised another error: " << error.what();
  }
  return ::testing::AssertionFailure() << "raised nothing";
}

// Which error a call raises: 0 none, else the kind.
enum class Fault { kNone, kDivideByZero, kInvalid, kOverflow };

inline const char* FaultText(Fault fault) {
  switch (fault) {
    case Fault::kDivideByZero:
      return "Floating point division by zero";
    case Fault::kInvalid:
      return "Invalid floating point operation";
    case Fault::kOverflow:
      return "Floating point overflow";
    default:
      return "";
  }
}

inline ::testing::AssertionResult RaisesFault(const std::function<void()>& call, Fault fault) {
  switch (fault) {
    case Fault::kDivideByZero:
      return RaisesWithText<FloatDivideByZeroError>(call, FaultText(fault));
    case Fault::kInvalid:
      return RaisesWithText<FloatInvalidOperationError>(call, FaultText(fault));
    case Fault::kOverflow:
      return RaisesWithText<FloatOverflowError>(call, FaultText(fault));
    default:
      try {
        call();
      } catch (const std::exception& error) {
        return ::testing::AssertionFailure() << "raised " << error.what();
      }
      return ::testing::AssertionSuccess();
  }
}

// Records the worst error of a round trip as a test property (shown in the
// XML report), in degrees.
inline void RecordWorstError(long double worst, const std::string& key = "worst_error_degrees") {
  std::ostringstream text;
  text.precision(3);
  text << std::scientific << static_cast<double>(worst);
  ::testing::Test::RecordProperty(key, text.str());
}

// Table rows that carry a name print as that name in failure messages.
template <typename Row>
requires requires(const Row& row) {
  std::string(row.name);
}
void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

// A recognisable 6-byte real, to see that an output was left untouched.
inline const Real48 kUntouched = EncodeReal48(12345.0L);

}  // namespace kova::testing
