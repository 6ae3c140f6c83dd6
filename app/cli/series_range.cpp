#include "app/cli/series_range.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

#include "app/inputs/tarvo/grid_reader.h"
#include "app/pipeline/convert_entry.h"
#include "app/platform/base/errors.h"

namespace kova::cli {
namespace {

struct EntryExtremes {
  bool read = false;   // the grid was read (it may hold no valid value)
  bool valid = false;  // it holds a valid value
  float smallest = 0.0f;
  float largest = 0.0f;
  std::string failure;
};

// The extremes of one entry's grid; `grid` is the thread's scratch grid.
EntryExtremes ReadExtremes(const SeriesEntry& entry, GridLimits limits, GridData& grid) {
  EntryExtremes extremes;
  try {
    extremes.valid = ReadEntryExtremes(entry, limits, grid, extremes.smallest, extremes.largest);
    extremes.read = true;
  } catch (const std::exception& error) {
    extremes.failure = error.what();
  }
  return extremes;
}

}  // namespace

SeriesScan ScanSeriesRange(const std::vector<SeriesEntry>& series, GridLimits limits, unsigned jobs,
                           bool keep_going) {
  std::vector<EntryExtremes> found(series.size());
  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  auto work = [&] {
    GridData grid;
    for (std::size_t i; !stop && (i = next++) < series.size();) {
      found[i] = ReadExtremes(series[i], limits, grid);
      if (!found[i].read && !keep_going) stop = true;
    }
  };
  const std::size_t threads =
      std::clamp<std::size_t>(jobs, 1, std::max<std::size_t>(series.size(), 1));
  if (threads == 1) {
    work();
  } else {
    std::vector<std::jthread> workers;
    for (std::size_t t = 0; t < threads; ++t) workers.emplace_back(work);
  }

  SeriesScan scan;
  for (std::size_t i = 0; i < series.size(); ++i) {
    const EntryExtremes& extremes = found[i];
    if (!extremes.read && !extremes.failure.empty() && !scan.failed) {
      scan.failed = i;
      scan.failure = extremes.failure;
      if (!keep_going) return scan;
    }
    if (!extremes.valid) continue;
    if (!scan.range) {
      scan.range = FixedValueRange{extremes.smallest, extremes.largest};
    } else {
      scan.range->Min = std::min(scan.range->Min, extremes.smallest);
      scan.range->Max = std::max(scan.range->Max, extremes.largest);
    }
  }
  return scan;
}

}  // namespace kova::cli
