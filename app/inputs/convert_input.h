// One input file of any kind into its images: every grid the file holds
// (one per NetCDF time step) checked against the template and converted by
// the conversion that Tarvo grids go through.
#pragma once

#include <string>
#include <vector>

#include "app/conversion.h"
#include "app/inputs/input_source.h"
#include "image/kova_img.h"

namespace kova::inputs {

struct InputConversion {
  std::string TemplatePath;
  bool TemplateNamed = false;  // given by the user rather than beside the program
  InputOptions Options;
};

// One image of an input: which of its grids, and the image's name.
struct InputImage {
  std::size_t Grid = 0;
  std::string Output;
};

// The image of an input that gives one: beside the input when `output` is
// empty, in the folder `output` names under the input's name, else `output`
// as typed.
std::string SingleImageName(const std::string& input, const std::string& output);

// The images of the input file `input`. A single grid goes where
// SingleImageName says. The grids
// of a time series go beside the input, or into the folder `output` names,
// each as NAME_STAMP.img. Opens the file to count its grids; raises the
// reader's errors, and ConversionError when a series' `output` is no folder
// or an image would be written over its input.
std::vector<InputImage> PlanInputImages(const std::string& input, const std::string& output,
                                        const InputOptions& options);

// Grid `grid_index` of the GeoTIFF, NetCDF or Tarvo file `input` read into
// `grid` (memory it held is given back first), the template's projection
// checked, and converted into the image `output`, handed back not yet in
// place as ConvertGrid does; with `coding`, coded in its fixed range.
SafeOutput ConvertInputGrid(TKovaImg& image, const InputConversion& conversion,
                            const std::string& input, std::size_t grid_index,
                            const std::string& output, GridData& grid,
                            RangeCoding* coding = nullptr);

// Grid `grid_index` of the GeoTIFF or NetCDF file `input` read into `grid`
// (memory it held is given back first), with the reader's errors as
// ConvertInputGrid raises them.
void ReadInputGrid(const InputConversion& conversion, const std::string& input,
                   std::size_t grid_index, GridData& grid);

}  // namespace kova::inputs
