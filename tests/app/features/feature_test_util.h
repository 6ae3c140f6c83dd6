// Helpers of the feature tests: images built in memory, and grids converted
// through the run with a template of one's choice.
#pragma once

#include <string>
#include <vector>

#include "app/conversion.h"
#include "app/features/image_raster.h"
#include "app/pipeline/converter.h"
#include "host/ui.h"
#include "image/format.h"
#include "image/kova_img.h"
#include "image/real48.h"
#include "image/template_image.h"
#include "support/recording_ui.h"

namespace kova::testing {

// An image of type 200 with the given scaling and codes, row 0 first.
inline ImageRaster MakeRaster(int columns, int rows, std::vector<std::uint8_t> codes,
                              long double scale_factor = 1.0L, long double scale_offset = 0.0L,
                              std::uint8_t decimals = 0) {
  ImageRaster image;
  image.file_name = "memory.img";
  image.header = TemplateHeader();
  image.header.Columns = static_cast<std::int16_t>(columns);
  image.header.Rows = static_cast<std::int16_t>(rows);
  image.header.ScaleFactor = EncodeReal48(scale_factor);
  image.header.ScaleOffset = EncodeReal48(scale_offset);
  image.header.Decimals = decimals;
  image.codes = std::move(codes);
  return image;
}

// Converts one grid file into `output` with the template at `template_path`.
inline void ConvertGrid(const std::string& template_path, const std::string& input,
                        const std::string& output) {
  RecordingUi ui;  // takes the information box that ends a run
  TKovaImg image;
  Converter(image, ConversionSettings{template_path, std::nullopt}, ".").Run(input, output);
}

}  // namespace kova::testing
