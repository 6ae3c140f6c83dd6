#include "app/features/template_maker.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "image/real48.h"
#include "image/template_image.h"
#include "projection/projectn.h"

namespace kova {
namespace {

// A typical image: 21 x 21 pixels of the projection's typical size around
// the origin pixel; its middle and its four corners.
constexpr int kTypicalHalfSize = 10;

std::string Number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

void CheckAngle(const char* what, double value, double limit, bool open) {
  const bool inside = open ? std::fabs(value) < limit : std::fabs(value) <= limit;
  if (!std::isfinite(value) || !inside) {
    throw TemplateError(std::string(what) + " " + Number(value) + " is out of range (" +
                        (open ? "between " : "from ") + Number(-limit) + (open ? " and " : " to ") +
                        Number(limit) + (open ? ", exclusive)" : ")"));
  }
}

// Places the middle and the corners of a typical image; refuses what fails.
void CheckTypicalImage(const Projection& projection, const KovaHeader& header) {
  KovaHeader typical = header;
  typical.Rows = typical.Columns = 2 * kTypicalHalfSize + 1;
  typical.OriginColumn = typical.OriginRow = EncodeReal48(kTypicalHalfSize);
  typical.PixelWidth = typical.PixelHeight = EncodeReal48(projection.typical_pixel);
  const std::string failure = std::string("The ") + projection.template_name +
                              " projection with these parameters cannot place";

  constexpr int kLast = 2 * kTypicalHalfSize;
  const std::array<std::array<int, 2>, 5> positions{
      {{kTypicalHalfSize, kTypicalHalfSize}, {0, 0}, {kLast, 0}, {0, kLast}, {kLast, kLast}}};
  std::array<std::array<long double, 2>, 5> places{};
  for (std::size_t i = 0; i < positions.size(); ++i) {
    Real48 latitude{};
    Real48 longitude{};
    try {
      pixel_to_lat_lon(latitude, longitude, typical, EncodeReal48(positions[i][1]),
                       EncodeReal48(positions[i][0]));
    } catch (const KovaError& error) {
      throw TemplateError(failure + " the pixels of an image: " + error.Message());
    }
    places[i] = {DecodeReal48(latitude), DecodeReal48(longitude)};
    if (places[i][0] == kNoDataCoordinate || !(std::fabs(places[i][0]) <= 90.0L)) {
      throw TemplateError(failure + " the pixels of an image on the globe");
    }
  }
  // The pixel of map 0/0 must come back at the projection's origin.
  const long double expected_latitude = DecodeReal48(header.OriginLatitude);
  const long double expected_longitude = DecodeReal48(header.OriginLongitude);
  if (std::fabs(places[0][0] - expected_latitude) > 1e-4L ||
      std::fabs(std::remainder(places[0][1] - expected_longitude, 360.0L)) > 1e-4L) {
    throw TemplateError(failure + " its own origin");
  }
  for (std::size_t i = 1; i < places.size(); ++i) {
    if (std::fabs(places[i][0] - places[0][0]) < 1e-9L &&
        std::fabs(places[i][1] - places[0][1]) < 1e-9L) {
      throw TemplateError(failure + " distinct pixels apart: every pixel falls on the origin");
    }
  }
}

}  // namespace

std::string TemplateTitle(const Projection& projection) {
  return std::string("Tarvo2Kova template: ") + projection.description + ", grid in " +
         projection.map_units;
}

KovaHeader MakeTemplateHeader(const TemplateParameters& p) {
  const Projection* projection = FindProjectionByTemplateName(p.projection);
  if (projection == nullptr) {
    std::string names;
    for (const Projection& known : kProjections) {
      names += names.empty() ? known.template_name : std::string(", ") + known.template_name;
    }
    throw TemplateError("Unknown projection " + p.projection + " (known: " + names + ")");
  }
  const std::string the = std::string("The ") + projection->template_name + " projection";
  if (p.origin_latitude && !projection->template_origin_latitude) {
    throw TemplateError(the + " takes no origin latitude");
  }
  if (p.origin_longitude && !projection->origin_longitude) {
    throw TemplateError(the + " takes no origin longitude");
  }
  if ((p.parallel1 || p.parallel2) && !projection->parallels) {
    throw TemplateError(the + " has no standard parallels");
  }
  if (projection->parallels && !(p.parallel1 && p.parallel2)) {
    throw TemplateError(the + " needs two standard parallels");
  }

  const double latitude = p.origin_latitude.value_or(0.0);
  const double longitude = p.origin_longitude.value_or(0.0);
  // A cone or a sphere has no usable origin at a pole.
  CheckAngle("Origin latitude", latitude, 90.0, projection->code != kGeographicProjection);
  CheckAngle("Origin longitude", longitude, 180.0, false);
  if (projection->parallels) {
    CheckAngle("Standard parallel", *p.parallel1, 90.0, true);
    CheckAngle("Standard parallel", *p.parallel2, 90.0, true);
    if (*p.parallel1 == *p.parallel2) {
      throw TemplateError("Standard parallels " + Number(*p.parallel1) + " and " +
                          Number(*p.parallel2) + " are equal; the cone needs two");
    }
    if (*p.parallel1 == -*p.parallel2) {
      throw TemplateError("Standard parallels " + Number(*p.parallel1) + " and " +
                          Number(*p.parallel2) + " cancel; the cone would be a cylinder");
    }
  }

  KovaHeader header = TemplateHeader();
  header.ProjectionType = projection->code;
  header.Title.fill(' ');
  const std::string title = TemplateTitle(*projection);
  std::copy_n(title.begin(), std::min(title.size(), header.Title.size()), header.Title.begin());
  header.OriginLatitude = EncodeReal48(latitude);
  header.OriginLongitude = EncodeReal48(longitude);
  if (projection->parallels) {
    header.StdParallel1 = EncodeReal48(*p.parallel1);
    header.StdParallel2 = EncodeReal48(*p.parallel2);
  }
  header.PixelWidth = header.PixelHeight = EncodeReal48(projection->typical_pixel);
  CheckTypicalImage(*projection, header);
  return header;
}

}  // namespace kova
