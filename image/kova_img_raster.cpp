// Creating image files and writing their raster row by row.
#include <algorithm>
#include <array>
#include <bit>     // countr_zero: the values next to a decision point
#include <cmath>   // nearbyint: round half to even in the default rounding mode
#include <ctime>   // the year of the system date
#include <memory>  // the unfilled piece buffer
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>  // SSE2: the coding of 16 values at once
#include <immintrin.h>  // AVX2, where the processor has it: four values to a register
#endif

#include "app/platform/errors.h"
#include "host/ui.h"
#include "image/kova_img.h"
#include "image/pixel_coder.h"

namespace kova {
namespace {

constexpr std::size_t kFillBlockSize = 8192;

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

// The double quotient is within a few double ulps of the exact one: relative
// error below 2^-50. Within the codes (|q| < 256) that is below 2^-42, so
// where no decision point lies within kNear of the double quotient, the
// exact quotient is on the same side of every decision point.
namespace {
constexpr double kNear = 0x1p-32;
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

#if defined(__SSE2__)
// CodeFast for 16 values at once in SSE2, the baseline of x86-64: two
// doubles to a register. Returns a bit per value that needs the rule itself.
inline unsigned CodeFast16(const float* v, const std::uint8_t* missing, std::uint8_t* out,
                           __m128d offset, __m128d inverse, __m128d min, __m128d max,
                           std::uint8_t no_data) {
  const __m128d low = _mm_set1_pd(-2.0);
  const __m128d high = _mm_set1_pd(256.0);
  const __m128d half = _mm_set1_pd(0.5);
  const __m128d near = _mm_set1_pd(kNear);
  const __m128d far = _mm_set1_pd(1 - kNear);
  const __m128d no_data_d = _mm_set1_pd(no_data);
  const __m128d abs_mask = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  __m128i whole[8];
  unsigned near_bits = 0;
  for (int k = 0; k < 8; ++k) {
    // Two floats by an 8-byte load that may be unaligned.
    const __m128 two =
        _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + 2 * k)));
    const __m128d q = _mm_mul_pd(_mm_sub_pd(_mm_cvtps_pd(two), offset), inverse);
    // max(q, -2) gives -2 for a q that is not a number.
    const __m128d clamped = _mm_min_pd(_mm_max_pd(q, low), high);
    const __m128d t = _mm_add_pd(clamped, half);
    const __m128i truncated = _mm_cvttpd_epi32(t);
    const __m128d fraction = _mm_sub_pd(t, _mm_cvtepi32_pd(truncated));
    const __m128d in_range = _mm_and_pd(_mm_cmpge_pd(clamped, min), _mm_cmple_pd(clamped, max));
    __m128d is_near = _mm_cmplt_pd(_mm_and_pd(_mm_sub_pd(clamped, min), abs_mask), near);
    is_near =
        _mm_or_pd(is_near, _mm_cmplt_pd(_mm_and_pd(_mm_sub_pd(clamped, max), abs_mask), near));
    is_near = _mm_or_pd(is_near, _mm_cmplt_pd(fraction, near));
    is_near = _mm_or_pd(is_near, _mm_cmpgt_pd(fraction, far));
    is_near = _mm_or_pd(is_near, _mm_cmpunord_pd(q, q));
    near_bits |= static_cast<unsigned>(_mm_movemask_pd(is_near)) << (2 * k);
    const __m128d code = _mm_or_pd(_mm_and_pd(in_range, _mm_cvtepi32_pd(truncated)),
                                   _mm_andnot_pd(in_range, no_data_d));
    whole[k] = _mm_cvttpd_epi32(code);  // two codes in the low half
  }
  const __m128i a = _mm_unpacklo_epi64(whole[0], whole[1]);
  const __m128i b = _mm_unpacklo_epi64(whole[2], whole[3]);
  const __m128i c = _mm_unpacklo_epi64(whole[4], whole[5]);
  const __m128i d = _mm_unpacklo_epi64(whole[6], whole[7]);
  __m128i codes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
  const __m128i flags = _mm_loadu_si128(reinterpret_cast<const __m128i*>(missing));
  const __m128i is_missing = _mm_xor_si128(_mm_cmpeq_epi8(flags, _mm_setzero_si128()),
                                           _mm_set1_epi8(static_cast<char>(0xFF)));
  codes = _mm_or_si128(_mm_andnot_si128(is_missing, codes),
                       _mm_and_si128(is_missing, _mm_set1_epi8(static_cast<char>(no_data))));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), codes);
  return near_bits & ~static_cast<unsigned>(_mm_movemask_epi8(is_missing));
}

// CodeFast16 with AVX2: four doubles to a register.
[[gnu::target("avx2")]] inline unsigned CodeFast16Avx2(const float* v, const std::uint8_t* missing,
                                                       std::uint8_t* out, __m256d offset,
                                                       __m256d inverse, __m256d min, __m256d max,
                                                       std::uint8_t no_data) {
  const __m256d low = _mm256_set1_pd(-2.0);
  const __m256d high = _mm256_set1_pd(256.0);
  const __m256d half = _mm256_set1_pd(0.5);
  const __m256d near = _mm256_set1_pd(kNear);
  const __m256d far = _mm256_set1_pd(1 - kNear);
  const __m256d no_data_d = _mm256_set1_pd(no_data);
  const __m256d abs_mask = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  __m128i whole[4];
  unsigned near_bits = 0;
  for (int k = 0; k < 4; ++k) {
    const __m256d q =
        _mm256_mul_pd(_mm256_sub_pd(_mm256_cvtps_pd(_mm_loadu_ps(v + 4 * k)), offset), inverse);
    const __m256d clamped = _mm256_min_pd(_mm256_max_pd(q, low), high);
    const __m256d t = _mm256_add_pd(clamped, half);
    const __m128i truncated = _mm256_cvttpd_epi32(t);
    const __m256d fraction = _mm256_sub_pd(t, _mm256_cvtepi32_pd(truncated));
    const __m256d in_range = _mm256_and_pd(_mm256_cmp_pd(clamped, min, _CMP_GE_OQ),
                                           _mm256_cmp_pd(clamped, max, _CMP_LE_OQ));
    __m256d is_near =
        _mm256_cmp_pd(_mm256_and_pd(_mm256_sub_pd(clamped, min), abs_mask), near, _CMP_LT_OQ);
    is_near = _mm256_or_pd(
        is_near,
        _mm256_cmp_pd(_mm256_and_pd(_mm256_sub_pd(clamped, max), abs_mask), near, _CMP_LT_OQ));
    is_near = _mm256_or_pd(is_near, _mm256_cmp_pd(fraction, near, _CMP_LT_OQ));
    is_near = _mm256_or_pd(is_near, _mm256_cmp_pd(fraction, far, _CMP_GT_OQ));
    is_near = _mm256_or_pd(is_near, _mm256_cmp_pd(q, q, _CMP_UNORD_Q));
    near_bits |= static_cast<unsigned>(_mm256_movemask_pd(is_near)) << (4 * k);
    const __m256d code = _mm256_blendv_pd(no_data_d, _mm256_cvtepi32_pd(truncated), in_range);
    whole[k] = _mm256_cvttpd_epi32(code);
  }
  __m128i codes =
      _mm_packus_epi16(_mm_packs_epi32(whole[0], whole[1]), _mm_packs_epi32(whole[2], whole[3]));
  const __m128i flags = _mm_loadu_si128(reinterpret_cast<const __m128i*>(missing));
  const __m128i is_missing = _mm_xor_si128(_mm_cmpeq_epi8(flags, _mm_setzero_si128()),
                                           _mm_set1_epi8(static_cast<char>(0xFF)));
  codes = _mm_blendv_epi8(codes, _mm_set1_epi8(static_cast<char>(no_data)), is_missing);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), codes);
  return near_bits & ~static_cast<unsigned>(_mm_movemask_epi8(is_missing));
}

// Codes the blocks of 16 from `i` on with AVX2 until one has a value near a
// decision point (its bits in `near`, and its start returned) or no whole
// block is left (where it stopped returned, `near` 0).
[[gnu::target("avx2"), gnu::noinline]] std::size_t CodeBlocksAvx2(
    const float* values, const std::uint8_t* no_data, std::size_t i, std::size_t count,
    std::uint8_t* codes, double offset, double inverse, double min, double max,
    std::uint8_t no_data_code, unsigned& near) {
  const __m256d offset4 = _mm256_set1_pd(offset);
  const __m256d inverse4 = _mm256_set1_pd(inverse);
  const __m256d min4 = _mm256_set1_pd(min);
  const __m256d max4 = _mm256_set1_pd(max);
  for (; i + 16 <= count; i += 16) {
    near = CodeFast16Avx2(values + i, no_data + i, codes + i, offset4, inverse4, min4, max4,
                          no_data_code);
    if (near != 0) return i;
  }
  near = 0;
  return i;
}

bool UseAvx2() {
  static const bool kHasAvx2 = __builtin_cpu_supports("avx2") != 0;
  return kHasAvx2 && coder_detail::block_way == coder_detail::BlockWay::kFastest;
}
#endif

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
  if (UseAvx2()) {
    for (;;) {
      unsigned near = 0;
      i = CodeBlocksAvx2(values, no_data, i, count, codes, offset_d_, inverse_d_, min_, max_,
                         no_data_, near);
      if (near == 0) break;
      for (; near != 0; near &= near - 1) {  // rare: only next to a decision point
        recode(i + static_cast<std::size_t>(std::countr_zero(near)));
      }
      i += 16;
    }
  }
  const __m128d offset = _mm_set1_pd(offset_d_);
  const __m128d inverse = _mm_set1_pd(inverse_d_);
  const __m128d min = _mm_set1_pd(min_);
  const __m128d max = _mm_set1_pd(max_);
  for (; i + 16 <= count; i += 16) {
    unsigned near =
        CodeFast16(values + i, no_data + i, codes + i, offset, inverse, min, max, no_data_);
    while (near != 0) {  // rare: only next to a decision point
      recode(i + static_cast<std::size_t>(std::countr_zero(near)));
      near &= near - 1;
    }
  }
#endif
  for (; i < count; ++i) {
    const FastCode fast = CodeFast(values[i], offset_d_, inverse_d_, min_, max_, no_data_);
    codes[i] = no_data[i] ? no_data_ : fast.code;
    if (fast.near && !no_data[i]) recode(i);
  }
  if (coded) *coded = count;
}

std::string PadRight(const std::string& text, int n) {
  if (n <= 0) return {};
  std::size_t cut = std::min(text.size(), static_cast<std::size_t>(n));
  if (cut < text.size()) {
    // The first byte left out continues a character: step back to the byte
    // that leads it (at most three), and cut there if the character runs on
    // past the cut. Bytes that are no UTF-8 are cut where they are.
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t lead = cut;
    while (lead > 0 && cut - lead < 3 && (byte(lead) & 0xC0) == 0x80) --lead;
    const unsigned char first = byte(lead);
    const std::size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    if (lead < cut && first >= 0xC0 && first <= 0xF4 && lead + length > cut) cut = lead;
  }
  std::string out = text.substr(0, cut);
  out.resize(static_cast<std::size_t>(n), ' ');
  return out;
}

std::string CreatorText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return "Vek/Brakkedal 1994-" + std::to_string(local.tm_year + 1900);
}

void TKovaImg::CreateImage(const std::string& file_name, bool header_only) {
  const std::string title = PadRight(CreatorText(), static_cast<int>(kTitleLength));
  std::copy(title.begin(), title.end(), header_.Title.begin());
  const std::vector<std::uint8_t> fill(kFillBlockSize, props_.NoDataCode);
  BusyCursor busy;  // back to the default cursor also when an error escapes
  if (status_ != 1) {
    ReportNoValidImage();
    return;
  }
  const std::int32_t size = std::int32_t{props_.Rows} * props_.Columns + 512;
  BinaryFile file(file_name, FileAccess::CreateWrite);
  const HeaderBytes zeros{};
  file.Write(zeros.data(), zeros.size());
  if (!header_only) {
    std::int64_t remaining = std::int64_t{size} - 512;
    while (remaining > 0) {
      const auto n = static_cast<std::size_t>(
          std::min<std::int64_t>(remaining, static_cast<std::int64_t>(kFillBlockSize)));
      file.Write(fill.data(), n);
      remaining -= static_cast<std::int64_t>(n);
    }
  }
  // The fields at their offsets; every other header byte stays zero.
  const HeaderBytes header = EncodeHeader(header_);
  file.Seek(0);
  file.Write(header.data(), header.size());
  file.Close();
}

void TKovaImg::OpenRaster() {
  if (status_ != 1) {
    ReportNoValidImage();
    return;
  }
  if (raster_open_) return;
  raster_.Open(file_name_, FileAccess::ReadWrite);
  raster_open_ = true;
}

void TKovaImg::WriteRow(std::span<const double> values, double row) {
  if (!raster_open_) {
    ReportClosedImage();
    return;
  }
  if (std::isnan(row) || row > props_.Rows - 1 || row < 0) return;
  const auto r = static_cast<std::int64_t>(std::nearbyint(row));
  const std::int64_t position = 512 + r * props_.Columns;

  const long double offset = DecodeReal48(props_.ScaleOffset);
  const long double factor = DecodeReal48(props_.ScaleFactor);
  const auto columns = static_cast<std::size_t>(std::max<std::int16_t>(props_.Columns, 0));
  // A row has at most 32767 pixels; they are coded here and written in one
  // call. Pixels coded before a failure are on disk when the error leaves.
  std::array<std::uint8_t, 32768> codes;
  std::size_t coded = 0;
  auto flush = [&] {
    if (coded != 0) raster_.WriteAt(position, codes.data(), coded);
  };
  const PixelCoder coder(offset, factor, props_.MinCode, props_.MaxCode, props_.NoDataCode);
  const std::size_t available = std::min(columns, values.size());
  try {
    for (; coded < available; ++coded) codes[coded] = coder.Code(values[coded]);
    if (available < columns) throw RangeError();
  } catch (const KovaError&) {
    flush();
    throw;
  }
  flush();
}

void TKovaImg::CreateImageWithRaster(const std::string& file_name, const std::string& title,
                                     std::span<const float> values,
                                     std::span<const std::uint8_t> no_data, const ByteSink& write) {
  // CreateImage: the header copy with the creator text as its title.
  const std::string creator = PadRight(CreatorText(), static_cast<int>(kTitleLength));
  std::copy(creator.begin(), creator.end(), header_.Title.begin());
  HeaderBytes bytes{};
  {
    BusyCursor busy;
    if (status_ != 1) {
      ReportNoValidImage();
    } else {
      bytes = EncodeHeader(header_);
    }
  }
  if (status_ != 1) {
    SetFileName(file_name);  // nothing was created: the file stays as it is
    return;
  }
  const std::int64_t cells = std::int64_t{std::max<std::int16_t>(props_.Rows, 0)} *
                             std::max<std::int16_t>(props_.Columns, 0);

  // SetFileName: attached from the bytes just made instead of reading them
  // back.
  AttachHeader(file_name, bytes, kHeaderSize);

  // SetTitle, OpenRaster and the rows: coded into the pieces that are
  // written. An image that the attach finds invalid keeps its pre-filled
  // raster, as CreateImage leaves it.
  const bool coding = status_ == 1;
  if (coding && title != Title()) {
    const std::string padded = PadRight(title, static_cast<int>(kTitleLength));
    std::copy(padded.begin(), padded.end(), props_.Title.begin());
    header_.Title = props_.Title;
    StoreHeaderField(header_, kFieldTitle, bytes);
  }
  const auto count = static_cast<std::size_t>(cells);
  if (coding && (values.size() < count || no_data.size() < count)) throw RangeError();
  const PixelCoder coder(DecodeReal48(props_.ScaleOffset), DecodeReal48(props_.ScaleFactor),
                         props_.MinCode, props_.MaxCode, props_.NoDataCode);
  const std::uint8_t fill = props_.NoDataCode;

  const std::size_t total = kHeaderSize + count;
  // Not filled first: every byte written is coded or copied into it.
  const std::size_t piece_size = std::min(total, kImageWriteChunk);
  const std::unique_ptr<std::uint8_t[]> piece(new std::uint8_t[piece_size]);
  std::copy(bytes.begin(), bytes.end(), piece.get());
  std::size_t at = kHeaderSize;  // in the piece
  std::size_t cell = 0;
  while (cell < count || at != 0) {
    const std::size_t n = std::min(piece_size - at, count - cell);
    if (coding) {
      coder.CodeValues(values.data() + cell, no_data.data() + cell, n, piece.get() + at);
    } else {
      std::fill_n(piece.get() + at, n, fill);
    }
    cell += n;
    write(piece.get(), at + n);
    at = 0;
  }
}

void TKovaImg::CloseRaster() {
  if (status_ != 1 || !raster_open_) return;
  raster_.Close();
  raster_open_ = false;
}

}  // namespace kova
