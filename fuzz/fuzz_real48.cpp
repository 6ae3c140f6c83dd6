// The 6-byte reals. From the first six bytes: decoding and encoding again
// gives the same bytes (zero for a zero exponent byte). From the rest: an
// extended value (sign, exponent, 64-bit significand, or an infinity or NaN)
// is encoded; it overflows exactly when it rounds to 2^127 or more, becomes
// zero exactly when it rounds below 2^-128, and is otherwise within half a
// unit of the 40th significand bit, a half rounding away from zero.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>  // ldexpl, fabsl, ilogbl, isnan, isinf
#include <cstddef>
#include <cstdint>
#include <limits>

#include "app/platform/base/errors.h"
#include "fuzz/fuzz_support.h"
#include "image/real48.h"

namespace {

using kova::fuzz::Check;

// Smallest magnitude that encodes to 2^127 or more: half a unit below 2^127,
// as a half rounds away from zero.
const long double kOverflowThreshold = ldexpl(1.0L, 127) - ldexpl(1.0L, 127 - 41);
// Smallest magnitude that encodes to something other than zero.
const long double kUnderflowThreshold = ldexpl(1.0L, -128) - ldexpl(1.0L, -128 - 41);

void CheckBytes(const kova::Real48& bytes) {
  const long double value = kova::DecodeReal48(bytes);
  Check(!std::isnan(value) && !std::isinf(value), "a 6-byte real decoded to no finite value");
  const kova::Real48 again = kova::EncodeReal48(value);
  if (bytes[0] == 0) {
    Check(value == 0.0L && again == kova::Real48{}, "a zero exponent did not decode to zero");
    return;
  }
  Check(again == bytes, "decoding and encoding changed a 6-byte real");
  const long double magnitude = fabsl(value);
  Check(magnitude >= ldexpl(1.0L, -128) && magnitude < ldexpl(1.0L, 127),
        "a 6-byte real decoded outside its range");
}

long double ExtendedFrom(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
      return std::numeric_limits<long double>::infinity();
    case 1:
      return -std::numeric_limits<long double>::infinity();
    case 2:
      return std::numeric_limits<long double>::quiet_NaN();
    default:
      break;
  }
  const bool negative = in.ConsumeBool();
  // Exponents around the 6-byte range most of the time, the whole extended
  // range (denormals included) otherwise.
  const int exponent = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(-140, 140)
                                        : in.ConsumeIntegralInRange<int>(-16445, 16383);
  const std::uint64_t significand = in.ConsumeIntegral<std::uint64_t>();
  const long double magnitude = ldexpl(static_cast<long double>(significand), exponent - 63);
  return negative ? -magnitude : magnitude;
}

void CheckEncode(long double value) {
  const bool must_overflow =
      std::isnan(value) || std::isinf(value) || fabsl(value) >= kOverflowThreshold;
  kova::Real48 bytes{};
  try {
    bytes = kova::EncodeReal48(value);
  } catch (const kova::FloatOverflowError&) {
    Check(must_overflow, "a value within range overflowed");
    return;
  }
  Check(!must_overflow, "a value beyond range did not overflow");
  const long double stored = kova::DecodeReal48(bytes);
  const long double magnitude = fabsl(value);
  if (magnitude < kUnderflowThreshold) {
    Check(bytes == kova::Real48{}, "a value below 2^-128 did not become zero");
    return;
  }
  Check(std::signbit(stored) == std::signbit(value), "encoding changed the sign");
  const long double half_unit = ldexpl(1.0L, ilogbl(value) - 40);
  const long double error = fabsl(stored - value);
  Check(error <= half_unit, "encoding is off by more than half a unit");
  if (error == half_unit) {
    Check(fabsl(stored) > magnitude, "a half did not round away from zero");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= 6) {
    kova::Real48 bytes;
    for (std::size_t i = 0; i < 6; ++i) bytes[i] = data[i];
    CheckBytes(bytes);
    data += 6;
    size -= 6;
  }
  FuzzedDataProvider in(data, size);
  while (in.remaining_bytes() > 0) CheckEncode(ExtendedFrom(in));
  return 0;
}
