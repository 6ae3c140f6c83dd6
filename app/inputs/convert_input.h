// The names of the images of one input file: a single grid's image, or one
// per time step of a series.
#pragma once

#include <string>
#include <vector>

#include "app/inputs/input_source.h"

namespace kova::inputs {

// One image of an input: which of its grids, and the image's name.
struct InputImage {
  std::size_t Grid = 0;
  std::string Output;
};

// The image of an input that gives one: beside the input when `output` is
// empty, in the folder `output` names under the input's name, else `output`
// as typed.
std::string SingleImageName(const std::string& input, const std::string& output);

// The images of the grids of `source`, opened from `input`. A single grid
// goes where SingleImageName says. The grids of a time series go beside the
// input, or into the folder `output` names, each as NAME_STAMP.img. Raises
// ConversionError when a series' `output` is no folder or an image would be
// written over its input.
std::vector<InputImage> NameInputImages(const InputSource& source, const std::string& input,
                                        const std::string& output);

}  // namespace kova::inputs
