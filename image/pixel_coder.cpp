// Turning data values into pixel codes: the rule, the value-by-value fast
// way, and the dispatch of whole blocks to the coder of the processor's tier.
#include "image/pixel_coder.h"

#include <bit>    // countr_zero: the values next to a decision point
#include <cmath>  // nearbyint: round half to even in the default rounding mode

#include "app/platform/base/cpu_tier.h"
#include "app/platform/base/errors.h"
#include "image/pixel_coder_blocks.h"

namespace kova {

using coder_detail::kNear;

namespace {

// A long double quotient rounded to double, raising the faults the
// floating-point unit would trap: n/0 (division by zero), 0/0 (invalid
// operation) and a result beyond the double range (overflow).
double DivideToDouble(long double numerator, long double divisor) {
  if (divisor == 0.0L && !std::isnan(numerator) && !std::isinf(numerator)) {
    if (numerator == 0.0L) throw FloatInvalidOperationError();
    throw FloatDivideByZeroError();
  }
  const long double q = numerator / divisor;
  const double rounded = static_cast<double>(q);
  if (std::isinf(rounded) && !std::isinf(q)) throw FloatOverflowError();
  return rounded;
}

}  // namespace

PixelCoder::PixelCoder(long double offset, long double factor, std::uint8_t min_code,
                       std::uint8_t max_code, std::uint8_t no_data_code)
    : offset_(offset),
      factor_(factor),
      offset_d_(static_cast<double>(offset)),  // 6-byte reals fit a double exactly
      factor_d_(static_cast<double>(factor)),
      inverse_d_(1.0 / factor_d_),
      min_(min_code),
      max_(max_code),
      no_data_(no_data_code),
      fast_(factor_d_ != 0.0 && std::isfinite(inverse_d_) && std::isfinite(offset_d_)) {}

std::uint8_t PixelCoder::ExactCode(double value) const {
  const double v = DivideToDouble(value - offset_, factor_);
  if (std::isnan(v) || v > max_ || v < min_) return no_data_;
  return static_cast<std::uint8_t>(std::nearbyint(v));
}

namespace {
// Beyond this the double quotient may stand for an exact one that leaves the
// double range, which the exact way reports as an overflow.
constexpr double kFarBeyond = 0x1p1000;
}  // namespace

std::uint8_t PixelCoder::Code(double value) const {
  if (std::isnan(value)) return no_data_;  // so too on the exact way, whatever the factor
  if (fast_) {
    const double q = (value - offset_d_) * inverse_d_;
    if (q > max_ + 1 || q < min_ - 1) {  // far beyond: no rounding matters
      return std::fabs(q) < kFarBeyond ? no_data_ : ExactCode(value);
    }
    const bool in_range = q >= min_ && q <= max_;
    const double t = q + 0.5;
    const int whole = static_cast<int>(t);
    const double fraction = t - whole;
    const bool near = std::fabs(q - min_) < kNear || std::fabs(q - max_) < kNear ||
                      fraction < kNear || fraction > 1 - kNear;
    if (!near) return in_range ? static_cast<std::uint8_t>(whole) : no_data_;
  }
  return ExactCode(value);
}

namespace {

// The double-arithmetic code of one value and whether a decision point is
// near: the branch-free body of CodeValues, value by value.
struct FastCode {
  std::uint8_t code;
  bool near;
};

inline FastCode CodeFast(float value, double offset, double inverse, double min, double max,
                         std::uint8_t no_data) {
  const double q = (static_cast<double>(value) - offset) * inverse;
  // A q beyond the codes is clamped to -2 or 256 (not a number to -2)
  // before the conversion to int, which then is exact.
  double clamped = q > -2.0 ? q : -2.0;
  clamped = clamped < 256.0 ? clamped : 256.0;
  const double t = clamped + 0.5;
  const int whole = static_cast<int>(t);
  const double fraction = t - whole;
  const bool in_range = clamped >= min && clamped <= max;
  const bool near = (std::fabs(clamped - min) < kNear) | (std::fabs(clamped - max) < kNear) |
                    (fraction < kNear) | (fraction > 1 - kNear) | (q != q);
  return {in_range ? static_cast<std::uint8_t>(whole) : no_data, near};
}

}  // namespace

void PixelCoder::CodeValues(const float* values, const std::uint8_t* no_data, std::size_t count,
                            std::uint8_t* codes, std::size_t* coded) const {
  if (coded) *coded = 0;
  std::size_t i = 0;
  auto recode = [&](std::size_t at) {
    try {
      codes[at] = ExactCode(values[at]);
    } catch (...) {
      if (coded) *coded = at;
      throw;
    }
  };
  if (!fast_) {
    for (; i < count; ++i) {
      if (no_data[i]) {
        codes[i] = no_data_;
      } else {
        recode(i);
      }
    }
    if (coded) *coded = count;
    return;
  }
#if defined(__SSE2__)
  // Whole blocks of 16 by the tier's block coder; the few values next to a
  // decision point by the rule.
  const coder_detail::BlockCoder blocks = ActiveCpuTier() >= CpuTier::kAvx2
                                              ? coder_detail::CodeBlocksAvx2
                                              : coder_detail::CodeBlocksSse2;
  const coder_detail::BlockScaling scaling{offset_d_, inverse_d_, min_, max_, no_data_};
  for (;;) {
    unsigned near = 0;
    i = blocks(values, no_data, i, count, codes, scaling, near);
    if (near == 0) break;
    for (; near != 0; near &= near - 1) {  // rare: only next to a decision point
      recode(i + static_cast<std::size_t>(std::countr_zero(near)));
    }
    i += 16;
  }
#endif
  for (; i < count; ++i) {
    const FastCode fast = CodeFast(values[i], offset_d_, inverse_d_, min_, max_, no_data_);
    codes[i] = no_data[i] ? no_data_ : fast.code;
    if (fast.near && !no_data[i]) recode(i);
  }
  if (coded) *coded = count;
}

}  // namespace kova
