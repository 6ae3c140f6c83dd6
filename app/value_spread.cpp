#include "app/value_spread.h"

#include <algorithm>
#include <array>

#include "image/pixel_coder.h"

namespace kova {
namespace {

constexpr int kLastValueCode = 253;
constexpr std::uint8_t kNoDataCode = 254;

}  // namespace

std::optional<OutlierFinding> FindOutliers(const GridData& grid, const ValueScaling& scaling) {
  const std::size_t count = std::min(grid.Values.size(), grid.NoData.size());
  const PixelCoder coder(scaling.ScaleOffset, scaling.ScaleFactor, 0, kLastValueCode, kNoDataCode);

  // How many cells each code gets, and where the extremes lie first.
  std::array<std::size_t, 256> cells{};
  std::size_t valid = 0;
  std::size_t at_min = 0;
  std::size_t at_max = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (grid.NoData[i] != 0) continue;
    const float value = grid.Values[i];
    ++cells[coder.Code(value)];
    if (valid == 0 || value < grid.Values[at_min]) at_min = i;
    if (valid == 0 || value > grid.Values[at_max]) at_max = i;
    ++valid;
  }
  if (valid < kOutlierFewestCells) return std::nullopt;

  // The adjacent codes that hold the most cells.
  std::size_t crowd = 0;
  int first = 0;
  for (int start = 0; start + kOutlierCrowdCodes - 1 <= kLastValueCode; ++start) {
    std::size_t sum = 0;
    for (int code = start; code < start + kOutlierCrowdCodes; ++code) sum += cells[code];
    if (sum > crowd) {
      crowd = sum;
      first = start;
    }
  }
  const std::size_t outside = valid - crowd;
  const auto allowed = std::max<std::size_t>(
      1, static_cast<std::size_t>(static_cast<double>(valid) * kOutlierShare));
  if (outside == 0 || outside > allowed) return std::nullopt;

  OutlierFinding finding;
  finding.valid_cells = valid;
  finding.crowd_cells = crowd;
  for (int code = first; code < first + kOutlierCrowdCodes; ++code) {
    if (cells[code] > 0) ++finding.crowd_codes;
  }
  // The extreme farther (in codes) from the crowd.
  const int below = first - coder.Code(grid.Values[at_min]);
  const int above = coder.Code(grid.Values[at_max]) - (first + kOutlierCrowdCodes - 1);
  finding.largest = above >= below;
  const std::size_t at = finding.largest ? at_max : at_min;
  finding.value = grid.Values[at];
  const auto cols = static_cast<std::size_t>(std::max(grid.Cols, 1));
  finding.row = static_cast<std::int32_t>(at / cols) + 1;
  finding.column = static_cast<std::int32_t>(at % cols) + 1;
  return finding;
}

}  // namespace kova
