// The middle step of a conversion run, shared by `kova convert` and the
// window: one entry of the series made into its image. The input is read
// through its source (opened once, whatever its kind), the output's header
// is prepared from the template and the grid, and the image is coded.
#pragma once

#include <string>

#include "app/conversion.h"
#include "app/grid_data.h"
#include "app/inputs/tarvo/grid_reader.h"
#include "app/pipeline/series_plan.h"
#include "app/platform/safe_output.h"
#include "image/kova_img.h"

namespace kova {

// What every entry of a run is converted with.
struct EntryConversion {
  std::string template_path;
  bool template_named = false;           // given by the user rather than beside the program
  GridLimits limits = kImageGridLimits;  // of a Tarvo grid
};

// Converts `entry` into a complete image, handed back not yet in place as
// WriteGridImage does; `image` and `grid` are the thread's component and
// grid, whose memory is used again. In the order in which its errors show:
// the error of naming its images, an input that is a folder, an output
// folder that does not exist; then for a Tarvo grid the output that is its
// input or the template, the grid's header, the template, the values; for
// a GeoTIFF or NetCDF grid its values, the template and whether it suits
// the grid, the output that is the template, a cell size not above 0. With
// `coding`, the values are coded in its fixed range.
SafeOutput ConvertEntry(TKovaImg& image, GridData& grid, const EntryConversion& conversion,
                        const SeriesEntry& entry, RangeCoding* coding = nullptr);

// Reads the grid of `entry` into `grid` (for the range of a series) and
// finds the extremes of its valid values; false when it has none. Raises
// the errors its conversion would raise for the input.
bool ReadEntryExtremes(const SeriesEntry& entry, GridLimits limits, GridData& grid, float& smallest,
                       float& largest);

// Refuses an input that is a folder: it holds files to convert, it is none.
void RefuseFolderInput(const std::string& input);

// Refuses an output whose folder does not exist, naming the folder; a
// missing input is left to the conversion, which names it.
void RefuseMissingOutputFolder(const std::string& output, const std::string& input);

}  // namespace kova
