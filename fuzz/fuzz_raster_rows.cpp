// Coding a raster row: an image of any image type (so any code range and
// no-data code) with any scale factor and offset gets one row of values,
// either any double at all or values a few ulps from a decision point (a
// half between two codes, MinCode, MaxCode). Every code written must be the
// one the exact rule gives: q = (value - offset) / factor in extended
// precision, rounded to a double; not a number, or outside MinCode..MaxCode,
// is NoDataCode; otherwise q rounded half to even. Where the exact rule
// faults (a zero factor, a quotient beyond the double range) the row must
// raise the fault.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>  // isnan, isinf, nearbyint, nextafter
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/platform/base/errors.h"
#include "fuzz/fuzz_support.h"
#include "image/format.h"
#include "image/kova_img.h"
#include "image/template_image.h"

namespace {

using kova::fuzz::Check;

constexpr int kMaxColumns = 2048;

struct Scaling {
  long double offset, factor;
  double min_code, max_code;
  std::uint8_t no_data;
};

// The code of one value by the exact rule; no value where the rule faults.
std::optional<std::uint8_t> ExactCode(double value, const Scaling& s) {
  if (std::isnan(value)) return s.no_data;
  const long double numerator = value - s.offset;
  if (s.factor == 0.0L && !std::isnan(numerator) && !std::isinf(numerator)) return std::nullopt;
  const long double q = numerator / s.factor;
  const double rounded = static_cast<double>(q);
  if (std::isinf(rounded) && !std::isinf(q)) return std::nullopt;
  if (std::isnan(rounded) || rounded > s.max_code || rounded < s.min_code) return s.no_data;
  return static_cast<std::uint8_t>(std::nearbyint(rounded));
}

// A value a few ulps from a decision point of the scaling.
double NearDecisionPoint(FuzzedDataProvider& in, const Scaling& s) {
  const int code = in.ConsumeIntegralInRange<int>(-1, 256);
  const long double point = in.ConsumeBool() ? code + 0.5L : code;
  double value = static_cast<double>(s.offset + s.factor * point);
  const int ulps = in.ConsumeIntegralInRange<int>(-4, 4);
  for (int i = 0; i < (ulps < 0 ? -ulps : ulps); ++i) {
    value = std::nextafter(value, ulps < 0 ? -HUGE_VAL : HUGE_VAL);
  }
  return value;
}

double AnyScale(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return 0.0;
    case 1:  // an ordinary scale: mantissa and a moderate binary exponent
      return std::ldexp(in.ConsumeFloatingPointInRange<double>(-2.0, 2.0),
                        in.ConsumeIntegralInRange<int>(-40, 40));
    case 2:  // any exponent a 6-byte real holds
      return std::ldexp(in.ConsumeFloatingPointInRange<double>(-1.0, 1.0),
                        in.ConsumeIntegralInRange<int>(-130, 127));
    default:
      return in.ConsumeFloatingPoint<double>();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  kova::KovaHeader header = kova::TemplateHeader();
  header.ImageType =
      static_cast<std::uint8_t>(kova::ImageTypeByIndex(in.ConsumeIntegralInRange<int>(1, 17)));
  const int columns = in.ConsumeIntegralInRange<int>(1, kMaxColumns);
  header.Columns = static_cast<std::int16_t>(columns);
  header.Rows = 1;
  const double factor = AnyScale(in);
  const double offset = AnyScale(in);

  static const std::string path = kova::fuzz::Scratch().File("row.img");
  static const std::string spare = kova::fuzz::Scratch().File("spare.img");
  kova::fuzz::SilentUi ui;
  kova::ScopedUi scoped(ui);
  kova::TKovaImg image;
  try {
    kova::WriteTemplateImage(spare, header);
    image.SetFileName(spare);
    Check(image.Status() == 1, "an image of a valid type did not attach");
    image.SetScaleFactor(factor);
    image.SetScaleOffset(offset);
    ::unlink(path.c_str());
    image.CreateImage(path, false);
    image.SetFileName(path);
  } catch (const kova::KovaError&) {
    return 0;  // a factor or offset beyond the 6-byte range
  }
  Check(image.Status() == 1, "a created image did not attach");
  const Scaling s{kova::DecodeReal48(image.Header().ScaleOffset),
                  kova::DecodeReal48(image.Header().ScaleFactor),
                  static_cast<double>(image.MinCode()), static_cast<double>(image.MaxCode()),
                  image.NoDataCode()};

  std::vector<double> row(static_cast<std::size_t>(columns), 0.0);
  for (double& value : row) {
    if (in.remaining_bytes() == 0) break;
    value = in.ConsumeBool() ? NearDecisionPoint(in, s) : in.ConsumeFloatingPoint<double>();
    if (in.ConsumeIntegralInRange<int>(0, 15) == 0) value = std::nan("");
  }

  std::vector<std::uint8_t> expected;
  bool faults = false;
  for (double value : row) {
    const std::optional<std::uint8_t> code = ExactCode(value, s);
    if (!code) {
      std::fprintf(stderr, "value %a offset %La factor %La: the exact rule faults\n", value,
                   s.offset, s.factor);
      faults = true;
      break;
    }
    expected.push_back(*code);
  }

  bool raised = false;
  image.OpenRaster();
  try {
    image.WriteRow(row, 0.0);
  } catch (const kova::KovaError&) {
    raised = true;
  }
  image.CloseRaster();
  Check(raised == faults, raised ? "a row raised a fault the exact rule does not have"
                                 : "a row did not raise a fault of the exact rule");
  if (faults) return 0;

  std::string bytes;
  Check(kova::fuzz::ReadBytes(path, bytes) && bytes.size() == kova::kHeaderSize + row.size(),
        "the created image has the wrong length");
  for (std::size_t c = 0; c < row.size(); ++c) {
    if (static_cast<std::uint8_t>(bytes[kova::kHeaderSize + c]) != expected[c]) {
      std::fprintf(stderr, "value %a offset %La factor %La: code %d, exact rule %d\n", row[c],
                   s.offset, s.factor, static_cast<std::uint8_t>(bytes[kova::kHeaderSize + c]),
                   expected[c]);
      kova::fuzz::Fail("a code differs from the exact rule");
    }
  }
  return 0;
}
