// One input file of any kind into its images: every grid the file holds
// (one per NetCDF time step) checked against the template and converted by
// the conversion that Tarvo grids go through.
#pragma once

#include <functional>
#include <string>

#include "app/conversion.h"
#include "app/inputs/input_source.h"
#include "image/kova_img.h"

namespace kova::inputs {

struct InputConversion {
  std::string TemplatePath;
  bool TemplateNamed = false;  // given by the user rather than beside the program
  InputOptions Options;
};

// Converts the grids of the GeoTIFF or NetCDF file `input`. A single grid
// goes to `output`; the grids of a time series go beside the input, or into
// the folder `output` names, each as NAME_STAMP.img. `deliver` receives each
// complete image (to Commit it) with its grid. Raises the first error.
void ConvertInputFile(TKovaImg& image, const InputConversion& conversion, const std::string& input,
                      const std::string& output,
                      const std::function<void(SafeOutput&, const GridData&)>& deliver);

// One grid of `source` into the image `output`: the template's projection
// checked, then the conversion of an in-memory grid.
SafeOutput ConvertSourceGrid(TKovaImg& image, const InputConversion& conversion,
                             const InputSource& source, const GridData& grid,
                             const std::string& output);

}  // namespace kova::inputs
