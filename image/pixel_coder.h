// Turning data values into pixel codes: q = (value - offset) / factor at
// extended precision, rounded to a double; a q outside MinCode..MaxCode or
// not a number is NoDataCode, any other q rounds half to even.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova {

class PixelCoder {
 public:
  PixelCoder(long double offset, long double factor, std::uint8_t min_code, std::uint8_t max_code,
             std::uint8_t no_data_code);

  // The rule itself, at extended precision. Raises the floating-point
  // errors of the division (a factor of 0).
  std::uint8_t ExactCode(double value) const;

  // The code of one value: in double arithmetic, and by the rule itself only
  // where a decision point is near.
  std::uint8_t Code(double value) const;

  // Codes `count` 4-byte values, NoDataCode where `no_data` is nonzero.
  // Each value is coded in double arithmetic without a branch; the few whose
  // double quotient lies so near a decision point (MinCode, MaxCode, a half
  // between two codes) that its rounding could matter are then coded again
  // by the rule itself. The blocks take the coder of the processor's
  // instruction-set tier (ActiveCpuTier); the result is the rule's, code
  // for code, whichever it is. On an error
  // of the rule, the codes before the failing value are in `codes`, and
  // `coded` (when given) says how many.
  void CodeValues(const float* values, const std::uint8_t* no_data, std::size_t count,
                  std::uint8_t* codes, std::size_t* coded = nullptr) const;

 private:
  long double offset_, factor_;
  double offset_d_, factor_d_, inverse_d_;
  double min_, max_;
  std::uint8_t no_data_;
  bool fast_;  // the double quotient is usable: a finite, nonzero factor
};

}  // namespace kova
