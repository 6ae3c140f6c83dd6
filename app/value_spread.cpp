#include "app/value_spread.h"

#include <algorithm>
#include <array>
#include <limits>

namespace kova {
namespace {

constexpr int kLastValueCode = 253;

// Every this many cells are looked at first; only a grid whose look finds
// them crowded is counted whole. Most grids are spread, and the look costs a
// sixteenth of a pass.
constexpr std::size_t kLookStride = 16;

using CodeCounts = std::array<std::size_t, 256>;

// The code of a value: the quotient rounded half up in double arithmetic,
// one multiplication per cell. A cell at a half between two codes may land
// in either, which moves no finding of the rule (a warning, not the image).
class RoughCoder {
 public:
  explicit RoughCoder(const ValueScaling& scaling)
      : offset_(scaling.ScaleOffset), inverse_(1.0 / scaling.ScaleFactor) {}
  std::size_t operator()(float value) const {
    const double q = (static_cast<double>(value) - offset_) * inverse_ + 0.5;
    return static_cast<std::size_t>(std::clamp(q, 0.0, static_cast<double>(kLastValueCode)));
  }

 private:
  double offset_;
  double inverse_;
};

struct Crowd {
  std::size_t cells = 0;
  int first = 0;  // its lowest code
};

// The adjacent codes that hold the most cells.
Crowd CrowdOf(const CodeCounts& counts) {
  Crowd best;
  for (int start = 0; start + kOutlierCrowdCodes - 1 <= kLastValueCode; ++start) {
    std::size_t sum = 0;
    for (int code = start; code < start + kOutlierCrowdCodes; ++code) sum += counts[code];
    if (sum > best.cells) best = {sum, start};
  }
  return best;
}

std::size_t AllowedOutside(std::size_t cells) {
  return std::max<std::size_t>(
      1, static_cast<std::size_t>(static_cast<double>(cells) * kOutlierShare));
}

}  // namespace

std::optional<OutlierFinding> FindOutliers(const GridData& grid, const ValueScaling& scaling) {
  const std::size_t count = std::min(grid.Values.size(), grid.NoData.size());
  if (!(scaling.ScaleFactor > 0.0)) return std::nullopt;
  const RoughCoder code_of(scaling);

  // The look: the cells it sees outside its own crowd are at most the cells
  // the whole grid has outside its crowd (every one of those the look sees,
  // and no more, lies outside the whole grid's crowd). More than the rule
  // allows even for a grid all valid, and the rule cannot hold.
  CodeCounts seen{};
  std::size_t looked = 0;
  for (std::size_t i = 0; i < count; i += kLookStride) {
    if (grid.NoData[i] != 0) continue;
    ++seen[code_of(grid.Values[i])];
    ++looked;
  }
  if (looked - CrowdOf(seen).cells > AllowedOutside(count)) return std::nullopt;

  // Every cell, and the extremes; where they lie is looked up only when the
  // rule holds.
  CodeCounts cells{};
  float smallest = std::numeric_limits<float>::infinity();
  float largest = -std::numeric_limits<float>::infinity();
  for (std::size_t i = 0; i < count; ++i) {
    if (grid.NoData[i] != 0) continue;
    const float value = grid.Values[i];
    ++cells[code_of(value)];
    smallest = std::min(smallest, value);
    largest = std::max(largest, value);
  }
  std::size_t valid = 0;
  for (const std::size_t n : cells) valid += n;
  if (valid < kOutlierFewestCells) return std::nullopt;
  const Crowd crowd = CrowdOf(cells);
  const std::size_t outside = valid - crowd.cells;
  if (outside == 0 || outside > AllowedOutside(valid)) return std::nullopt;

  OutlierFinding finding;
  finding.valid_cells = valid;
  finding.crowd_cells = crowd.cells;
  for (int code = crowd.first; code < crowd.first + kOutlierCrowdCodes; ++code) {
    if (cells[code] > 0) ++finding.crowd_codes;
  }
  // The extreme farther (in codes) from the crowd.
  const auto below = static_cast<long>(crowd.first) - static_cast<long>(code_of(smallest));
  const auto above =
      static_cast<long>(code_of(largest)) - static_cast<long>(crowd.first + kOutlierCrowdCodes - 1);
  finding.largest = above >= below;
  finding.value = finding.largest ? largest : smallest;
  std::size_t at = 0;
  while (at < count && (grid.NoData[at] != 0 || grid.Values[at] != finding.value)) ++at;
  const auto cols = static_cast<std::size_t>(std::max(grid.Cols, 1));
  finding.row = static_cast<std::int32_t>(at / cols) + 1;
  finding.column = static_cast<std::int32_t>(at % cols) + 1;
  return finding;
}

}  // namespace kova
