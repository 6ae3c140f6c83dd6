// The one range of values of a series (--series-range): a first pass that
// reads every grid of the series, keeping only its extremes, so that every
// image is then coded on the same scale.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/convert_command.h"
#include "app/conversion.h"
#include "app/inputs/tarvo/grid_reader.h"
#include "app/pipeline/series_plan.h"

namespace kova::cli {

struct SeriesScan {
  // The smallest and largest valid value of all grids read; none when no
  // grid held a valid value.
  std::optional<FixedValueRange> range;
  // The first entry (in series order) that could not be read, and why
  // ("message: where"); without keep_going the scan stops there.
  std::optional<std::size_t> failed;
  std::string failure;
};

// Reads the grid of every entry on `jobs` threads, one grid in memory per
// thread. With `keep_going`, entries that cannot be read are left out of
// the range (their conversion reports them); otherwise the first failure
// ends the scan.
SeriesScan ScanSeriesRange(const std::vector<SeriesEntry>& series, GridLimits limits, unsigned jobs,
                           bool keep_going);

}  // namespace kova::cli
