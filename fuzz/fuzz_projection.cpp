// The projection dispatch with arbitrary headers and positions. Input: the
// projection code (1 byte); the 6-byte reals origin latitude, origin
// longitude, origin column, origin row, pixel width, pixel height, standard
// parallels 1 and 2 (48 bytes); then any number of positions, each a row and
// a column as 6-byte reals (12 bytes). A short input leaves the rest zero.
#include <algorithm>  // min
#include <cstddef>
#include <cstdint>
#include <cstring>  // memcpy

#include "app/platform/base/errors.h"
#include "fuzz/fuzz_support.h"
#include "image/format.h"
#include "projection/projectn.h"

namespace {

using kova::Real48;
using kova::fuzz::Check;

constexpr std::size_t kHeaderPartSize = 1 + 8 * 6;
constexpr std::size_t kPositionSize = 2 * 6;

Real48 RealAt(const std::uint8_t* data, std::size_t size, std::size_t offset) {
  Real48 value{};
  if (offset < size)
    std::memcpy(value.data(), data + offset, std::min<std::size_t>(6, size - offset));
  return value;
}

bool HasInverse(std::uint8_t projection) {
  return projection == 2 || projection == 3 || projection == 4 || projection == 5 ||
         projection == 6 || projection == 8 || projection == 9;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kova::fuzz::SilenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  kova::KovaHeader header;
  header.ProjectionType = data[0];
  Real48 kova::KovaHeader::*const fields[] = {
      &kova::KovaHeader::OriginLatitude, &kova::KovaHeader::OriginLongitude,
      &kova::KovaHeader::OriginColumn,   &kova::KovaHeader::OriginRow,
      &kova::KovaHeader::PixelWidth,     &kova::KovaHeader::PixelHeight,
      &kova::KovaHeader::StdParallel1,   &kova::KovaHeader::StdParallel2};
  std::size_t offset = 1;
  for (auto field : fields) {
    header.*field = RealAt(data, size, offset);
    offset += 6;
  }

  // At least one position, the origin when the input ends early.
  for (std::size_t at = kHeaderPartSize; at == kHeaderPartSize || at < size; at += kPositionSize) {
    const Real48 row = RealAt(data, size, at);
    const Real48 column = RealAt(data, size, at + 6);
    // The outputs start as something no inverse writes, to show that every
    // way through the dispatch sets them.
    Real48 latitude;
    Real48 longitude;
    latitude.fill(0xA5);
    longitude.fill(0xA5);
    try {
      kova::pixel_to_lat_lon(latitude, longitude, header, row, column);
    } catch (const kova::KovaError&) {
      continue;  // a floating-point error of the inverse
    }
    // (The Albers inverse of a degenerate cone hands back the header's origin
    // as it stands, which may hold any bytes.)
    Real48 unset;
    unset.fill(0xA5);
    Check((latitude != unset || header.OriginLatitude == unset) &&
              (longitude != unset || header.OriginLongitude == unset),
          "the dispatch left an output unwritten");
    if (!HasInverse(header.ProjectionType)) {
      Check(latitude == Real48{} && longitude == Real48{},
            "a projection without inverse gave a point");
    }
  }
  return 0;
}
