// How the valid values of a grid spread over the codes 0..253 of its image,
// to tell when a few extreme values (an undeclared no-data value such as
// 9999, a spike) squeeze every other cell into a few codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "app/conversion.h"
#include "app/grid_data.h"

namespace kova {

// The rule: a grid of at least kOutlierFewestCells valid cells whose cells,
// all but at most a share kOutlierShare of them (but at least one), fall
// within kOutlierCrowdCodes adjacent codes. The cells outside then hold
// values far from the rest: the scale runs from code 0 to 253, and the crowd
// covers only 4 of those codes.
inline constexpr std::size_t kOutlierFewestCells = 100;
inline constexpr double kOutlierShare = 0.001;
inline constexpr int kOutlierCrowdCodes = 4;

struct OutlierFinding {
  std::size_t valid_cells = 0;
  std::size_t crowd_cells = 0;  // valid cells within the crowd's codes
  int crowd_codes = 0;          // distinct codes among those cells
  float value = 0.0f;           // the extreme farther from the crowd
  bool largest = true;          // whether it is the largest value or the smallest
  std::int32_t row = 0;         // where it lies first, from 1, the top row first
  std::int32_t column = 0;      // from 1, the left column first
};

// The finding of the rule for `grid` coded with `scaling` (as the
// conversion chose it from the grid's extremes); none when the rule does
// not hold.
std::optional<OutlierFinding> FindOutliers(const GridData& grid, const ValueScaling& scaling);

}  // namespace kova
