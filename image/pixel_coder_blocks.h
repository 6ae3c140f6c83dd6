// The block coders of PixelCoder::CodeValues: 16 values at a time in double
// arithmetic, one coder per instruction-set tier (pixel_coder_sse2.cpp,
// pixel_coder_avx2.cpp), both written once in pixel_coder_kernel.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kova::coder_detail {

// The double quotient is within a few double ulps of the exact one: relative
// error below 2^-50. Within the codes (|q| < 256) that is below 2^-42, so
// where no decision point lies within kNear of the double quotient, the
// exact quotient is on the same side of every decision point.
inline constexpr double kNear = 0x1p-32;

// What a block coder needs of the PixelCoder.
struct BlockScaling {
  double offset;
  double inverse;  // 1 / factor
  double min;      // MinCode
  double max;      // MaxCode
  std::uint8_t no_data;
};

// Codes the blocks of 16 from `i` on until one has a value near a decision
// point (its bits in `near`, and its start returned: its codes are written,
// those near a point still to be made by the rule) or no whole block is left
// (where it stopped returned, `near` 0). A no-data cell gets no_data and is
// never near.
using BlockCoder = std::size_t (*)(const float* values, const std::uint8_t* no_data, std::size_t i,
                                   std::size_t count, std::uint8_t* codes,
                                   const BlockScaling& scaling, unsigned& near);

std::size_t CodeBlocksSse2(const float* values, const std::uint8_t* no_data, std::size_t i,
                           std::size_t count, std::uint8_t* codes, const BlockScaling& scaling,
                           unsigned& near);
std::size_t CodeBlocksAvx2(const float* values, const std::uint8_t* no_data, std::size_t i,
                           std::size_t count, std::uint8_t* codes, const BlockScaling& scaling,
                           unsigned& near);

}  // namespace kova::coder_detail
