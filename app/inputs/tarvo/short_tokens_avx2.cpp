// The AVX2 short-token kernel: four numbers at once while they come, a pair
// where four do not fit. Compiled with -mavx2 -mbmi -mbmi2 (see
// CMakeLists.txt); reached only through the dispatch, on a processor that
// has all three.
#if defined(__AVX2__) && defined(__BMI__) && defined(__BMI2__)

#include <immintrin.h>  // AVX2

#include "app/inputs/tarvo/short_tokens.h"
#include "app/inputs/tarvo/token_pair.h"

namespace kova::grid_detail {
namespace {

// The byte vectors a quad is compared with, made once for a run of quads.
// Each is opaque to the compiler, so that it is kept (in a register or
// beside the loop) instead of made again from its byte in every round.
struct QuadConstants {
  __m256i space, line_feed, zero_char, nine, dot, minus, plus, first_eight;
  __m256i no_data_bytes, no_data_with_space, no_data_with_line_feed;
  __m256i below_float_bits, midpoint_less_margin, low_signs, low_signs_and_margins;
};

// Eight bytes repeated over 32, opaque to the compiler.
[[gnu::always_inline]] inline __m256i OpaqueSplat(std::uint64_t eight) {
  __m256i v = _mm256_set1_epi64x(static_cast<std::int64_t>(eight));
  asm("" : "+x"(v));
  return v;
}

[[gnu::always_inline]] inline QuadConstants MakeQuadConstants(const QuadNoData& no_data) {
  // The sign bit of each 32-bit half: the unsigned comparison of
  // NearFloatMidpoint made with a signed one.
  constexpr std::uint64_t kLowSigns = 0x8000000080000000u;
  return {OpaqueSplat(EachByte(' ')),
          OpaqueSplat(EachByte('\n')),
          OpaqueSplat(EachByte('0')),
          OpaqueSplat(EachByte(9)),
          OpaqueSplat(EachByte('.')),
          OpaqueSplat(EachByte('-')),
          OpaqueSplat(EachByte('+')),
          OpaqueSplat(0x0706050403020100u),  // bytes 0 to 7: a token's first 8
          OpaqueSplat(no_data.bytes),
          OpaqueSplat(no_data.with_space),
          OpaqueSplat(no_data.with_line_feed),
          OpaqueSplat(kBelowFloatBits),
          OpaqueSplat(kFloatMidpointBits - kMidpointMargin),
          OpaqueSplat(kLowSigns),
          OpaqueSplat(kLowSigns + 2 * kMidpointMargin * 0x100000001u)};
}

// The top bits of the 32 bytes.
[[gnu::always_inline]] inline std::uint32_t TopBits(__m256i bytes) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes));
}

// Four numbers of 1 to 8 characters within the 32 characters at `begin`,
// each ended by a space or a line feed, each right after the one before:
// the common case of a grid, read with one set of 256-bit operations. The
// first two lie in the first 16 characters with their ends, the last two in
// the 16 from the third's start, which form the register's upper half, so
// that each byte shuffle stays within its half. Writes the four values and
// flags and sets `length` to the characters taken; false (nothing written)
// for anything else, and where a product lies near a float midpoint. The 32
// characters from `begin` must be readable.
[[gnu::always_inline]] inline bool ReadTokenQuad(const char* begin, const QuadConstants& k,
                                                 float* values, std::uint8_t* flags,
                                                 std::size_t& length) {
  const __m256i chars = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(begin));
  // Tokens end at a space or a line feed; any other blank within them
  // makes them odd below. The bits beyond the 32 characters are set, so
  // that each end found is at most 35 and every shift below stays under 64.
  const std::uint64_t blank = TopBits(_mm256_or_si256(_mm256_cmpeq_epi8(chars, k.space),
                                                      _mm256_cmpeq_epi8(chars, k.line_feed))) |
                              (~std::uint64_t{0} << 32);
  // The four token ends, each after the one before.
  std::uint64_t rest = blank;
  const auto end_0 = LowestBit(rest);
  rest &= rest - 1;
  const auto end_1 = LowestBit(rest);
  rest &= rest - 1;
  const auto end_2 = LowestBit(rest);
  rest &= rest - 1;
  const auto end_3 = LowestBit(rest);
  const unsigned size_0 = end_0;
  const unsigned size_1 = end_1 - end_0 - 1;
  const unsigned size_2 = end_2 - end_1 - 1;
  const unsigned size_3 = end_3 - end_2 - 1;
  // Sizes 1 to 8; the first two tokens and their ends within the first 16
  // characters, the last two within the 16 from the third's start.
  if ((((size_0 - 1) | (size_1 - 1) | (size_2 - 1) | (size_3 - 1)) >= 8) | (end_1 >= 16) |
      (end_3 - end_1 > 16)) {
    return false;
  }
  const std::uint64_t covered = (std::uint64_t{2} << end_3) - 1;
  const std::uint64_t ends = blank & covered;
  const std::uint64_t starts = ((ends << 1) | 1) & covered;
  const __m256i offset = _mm256_sub_epi8(chars, k.zero_char);
  const std::uint32_t digit = TopBits(_mm256_cmpeq_epi8(_mm256_min_epu8(offset, k.nine), offset));
  const std::uint32_t dot = TopBits(_mm256_cmpeq_epi8(chars, k.dot));
  const std::uint32_t sign =
      TopBits(_mm256_or_si256(_mm256_cmpeq_epi8(chars, k.minus), _mm256_cmpeq_epi8(chars, k.plus)));
  // Each character a digit, a dot, a leading sign or an end. A token with
  // no digit or a second dot is found below.
  if ((covered & ~(digit | dot | (sign & starts) | ends)) != 0) return false;
  const unsigned start_1 = end_0 + 1;
  const unsigned start_2 = end_1 + 1;
  const unsigned start_3 = end_2 + 1;
  // Each dot place within its token; its size where there is none.
  const auto dot_at_0 = LowestBit(dot | (1u << size_0));
  const auto dot_at_1 = LowestBit((dot >> start_1) | (1u << size_1));
  const auto dot_at_2 = LowestBit((dot >> start_2) | (1u << size_2));
  const auto dot_at_3 = LowestBit((dot >> start_3) | (1u << size_3));
  const HalfLayout& layout_0 = LayoutOf(dot_at_0, size_0);
  const HalfLayout& layout_1 = LayoutOf(dot_at_1, size_1);
  const HalfLayout& layout_2 = LayoutOf(dot_at_2, size_2);
  const HalfLayout& layout_3 = LayoutOf(dot_at_3, size_3);
  // Each token's place in its half, as a shuffle offset in all 8 bytes.
  const __m256i starts_in_half =
      _mm256_set_epi64x(static_cast<std::int64_t>(EachByte(start_3 - start_2)), 0,
                        static_cast<std::int64_t>(EachByte(start_1)), 0);
  const __m256i shuffle = _mm256_add_epi64(
      starts_in_half, _mm256_set_epi64x(static_cast<std::int64_t>(layout_3.shuffle),
                                        static_cast<std::int64_t>(layout_2.shuffle),
                                        static_cast<std::int64_t>(layout_1.shuffle),
                                        static_cast<std::int64_t>(layout_0.shuffle)));
  const __m256i halves = _mm256_inserti128_si256(
      chars, _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + start_2)), 1);
  const __m256i half_offset = _mm256_sub_epi8(halves, k.zero_char);
  const __m256i is_digit = _mm256_cmpeq_epi8(_mm256_min_epu8(half_offset, k.nine), half_offset);
  // The shuffle leaves out each token's first dot: a second one would be
  // among the bytes placed. Every token needs a digit among them.
  const __m256i second_dot = _mm256_shuffle_epi8(_mm256_cmpeq_epi8(halves, k.dot), shuffle);
  const __m256i no_digit =
      _mm256_cmpeq_epi64(_mm256_shuffle_epi8(is_digit, shuffle), _mm256_setzero_si256());
  const __m256i odd = _mm256_or_si256(second_dot, no_digit);
  if (!_mm256_testz_si256(odd, odd)) return false;
  // Each token's digits right-aligned in 8 bytes and summed as for a pair
  // (token_pair.h names the technique).
  const __m256i placed = _mm256_shuffle_epi8(_mm256_and_si256(half_offset, is_digit), shuffle);
  const __m256i pairs = _mm256_maddubs_epi16(placed, _mm256_set1_epi16(kTensAndOnes));
  const __m256i fours = _mm256_madd_epi16(pairs, _mm256_set1_epi32(kHundredsAndOnes));
  const __m256i eights =
      _mm256_madd_epi16(_mm256_packs_epi32(fours, fours), _mm256_set1_epi32(kTenThousandsAndOnes));
  // Each half holds its two significands twice: the first copy of each.
  const __m128i significands = _mm256_castsi256_si128(_mm256_permute4x64_epi64(eights, 0b1000));
  __m256d products =
      _mm256_mul_pd(_mm256_cvtepi32_pd(significands),
                    _mm256_set_pd(layout_3.tenth, layout_2.tenth, layout_1.tenth, layout_0.tenth));
  // NearFloatMidpoint of the four products, as for a pair.
  const __m256i low_bits = _mm256_sub_epi32(
      _mm256_and_si256(_mm256_castpd_si256(products), k.below_float_bits), k.midpoint_less_margin);
  const __m256i beyond =
      _mm256_cmpgt_epi32(_mm256_xor_si256(low_bits, k.low_signs), k.low_signs_and_margins);
  if ((TopBits(beyond) & 0x0F0F0F0Fu) != 0x0F0F0F0Fu) [[unlikely]]
    return false;
  // Each token's first 8 characters, end included where it lies within
  // them: the sign from the first, the no-data text compared with them.
  const __m256i texts =
      _mm256_shuffle_epi8(halves, _mm256_add_epi64(starts_in_half, k.first_eight));
  const __m256i negative = _mm256_slli_epi64(_mm256_cmpeq_epi8(texts, k.minus), 63);
  products = _mm256_or_pd(products, _mm256_castsi256_pd(negative));
  const __m256i text_bytes = _mm256_and_si256(texts, k.no_data_bytes);
  const __m256d is_no_data = _mm256_castsi256_pd(
      _mm256_or_si256(_mm256_cmpeq_epi64(text_bytes, k.no_data_with_space),
                      _mm256_cmpeq_epi64(text_bytes, k.no_data_with_line_feed)));
  products =
      _mm256_blendv_pd(products, _mm256_set1_pd(static_cast<double>(kNoDataMarker)), is_no_data);
  _mm_storeu_ps(values, _mm256_cvtpd_ps(products));
  // One flag byte from each of the four bits: the product with
  // 1 + 2^7 + 2^14 + 2^21 moves bit i up to bit 8i (among other copies),
  // and the mask keeps those.
  const auto quad_flags =
      (static_cast<std::uint32_t>(_mm256_movemask_pd(is_no_data)) * 0x00204081u) & 0x01010101u;
  std::memcpy(flags, &quad_flags, 4);
  length = end_3 + 1;
  return true;
}

// One pair where four numbers do not fit: kept out of the quad loop, so
// that the loop has the registers to itself.
[[gnu::noinline]] bool PairBesideQuads(const char* begin, const PairNoData& no_data, float* values,
                                       std::uint8_t* flags, std::size_t& length) {
  return ReadTokenPair(begin, no_data, values, flags, length);
}

}  // namespace

// Quads of common numbers from data[pos] on while they come, a pair where
// four do not fit (as ShortTokensOneByOne, four or two at a time).
ShortRun TokenQuads(const char* data, std::size_t pos, std::size_t end, QuadNoData quad_no_data,
                    PairNoData pair_no_data, float* values, std::uint8_t* flags, std::int64_t count,
                    std::int64_t room) {
  const QuadConstants constants = MakeQuadConstants(quad_no_data);
  while (count + 4 <= room && end - pos > 32) {
    std::size_t taken = 0;
    if (ReadTokenQuad(data + pos, constants, values + count, flags + count, taken)) [[likely]] {
      count += 4;
    } else if (PairBesideQuads(data + pos, pair_no_data, values + count, flags + count, taken)) {
      count += 2;
    } else {
      break;
    }
    pos += taken;
    pos = PastAligningSpaces(data, pos, end);
  }
  return {pos, count};
}

}  // namespace kova::grid_detail

#endif  // AVX2, BMI, BMI2
