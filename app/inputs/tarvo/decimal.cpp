// The conversions of grid numbers that callers reach by name, and the exact
// way beneath the fast one.
#include "app/inputs/tarvo/decimal.h"

#include <locale.h>  // newlocale, strtold_l

#include <clocale>  // localeconv (Windows)
#include <new>      // bad_alloc
#include <string>

#include "app/inputs/tarvo/short_tokens.h"  // ShortValueNearMidpoint

namespace kova {

namespace grid_detail {

namespace {

#ifndef _WIN32
// A "C" locale object for the exact conversion, so that the process's
// locale (which a window toolkit may switch) never matters.
locale_t CLocale() {
  static const locale_t kLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  if (kLocale == static_cast<locale_t>(nullptr)) throw std::bad_alloc();
  return kLocale;
}
#endif

}  // namespace

FloatStatus ConvertExact(const char* begin, const char* end, float& value) {
  std::string text(begin, end);  // NUL-terminated copy
  char* stop = nullptr;
#ifdef _WIN32
  // mingw-w64's own conversion (gdtoa), correctly rounded to the 64-bit
  // significand as glibc's is. It takes the decimal point of the C locale
  // and Windows has no per-call locale for it, so the checked text's "." is
  // given as that locale's point.
  const char* point = localeconv()->decimal_point;
  if (point != nullptr && std::string(point) != ".") {
    const std::size_t dot = text.find('.');
    if (dot != std::string::npos) text.replace(dot, 1, point);
  }
  long double x = __mingw_strtold(text.c_str(), &stop);
#else
  long double x = strtold_l(text.c_str(), &stop, CLocale());
#endif
  if (stop != text.c_str() + text.size()) return FloatStatus::kInvalid;
  if (std::isinf(x)) return FloatStatus::kOverflow;
  return NarrowToFloat(x, value);
}

void ThrowInvalidFloat(std::string_view token) {
  throw ConvertError("'" + std::string(token) + "' is not a valid floating point value");
}

float ShortValueNearMidpoint(std::uint64_t significand, unsigned decimals, unsigned digits,
                             bool negative) {
  Decimal d;
  d.significand = significand;
  d.exponent = -static_cast<int>(decimals);
  d.digits = significand != 0 ? static_cast<int>(digits) : 0;
  d.negative = negative;
  d.valid = true;
  float value = 0.0f;
  // At most 15 digits and 14 decimals: always within the float range. The
  // text is only needed beyond 19 digits.
  DecimalToFloat(d, nullptr, nullptr, value, true, nullptr);
  return value;
}

FloatStatus ConvertGridFloat(std::string_view token, float& value, bool allow_fast,
                             bool* took_fast) {
  return ConvertFloat(token.data(), token.data() + token.size(), value, allow_fast, took_fast);
}

}  // namespace grid_detail

float ParseGridFloat(const std::string& token) {
  return grid_detail::ConvertFloatOrThrow(token);
}

std::int32_t ParseGridInteger(const std::string& token) {
  const char* p = token.data();
  const char* const end = p + token.size();
  while (p != end && *p == ' ') ++p;
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  unsigned base = 10;
  if (p != end && *p == '$') {
    base = 16;
    ++p;
  } else if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    base = 16;
    p += 2;
  }
  const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
  std::uint64_t magnitude = 0;
  bool ok = p != end;
  for (; ok && p != end; ++p) {
    unsigned digit;
    char ch = *p;
    if (ch >= '0' && ch <= '9') {
      digit = static_cast<unsigned>(ch - '0');
    } else if (base == 16 && ch >= 'a' && ch <= 'f') {
      digit = static_cast<unsigned>(ch - 'a' + 10);
    } else if (base == 16 && ch >= 'A' && ch <= 'F') {
      digit = static_cast<unsigned>(ch - 'A' + 10);
    } else {
      ok = false;
      break;
    }
    magnitude = magnitude * base + digit;
    if (magnitude > limit) ok = false;
  }
  if (!ok) throw ConvertError("'" + token + "' is not a valid integer value");
  return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                  : static_cast<std::int32_t>(magnitude);
}

}  // namespace kova
