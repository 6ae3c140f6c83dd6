// The whole conversion run with an arbitrary grid and template, both written
// into the scratch folder. Input: the template's length (15 bits, little
// endian, cut to what follows; the top bit of the second byte chooses the
// grid limits of kova convert over the window's), the template's bytes, then
// the grid's bytes.
//
// Whatever happens, the grid and the template keep their bytes, and no
// temporary file is left behind. A run that fails leaves no output. A run
// that reports success leaves an output that attaches as a valid image of
// the grid's size, whose file holds exactly its header and raster, whose
// title names the grid, and whose every pixel code is the one the exact
// extended-precision rule gives for its cell.
#include <cmath>  // isnan, nearbyint
#include <cstddef>
#include <cstdint>
#include <cstdio>  // remove, fprintf
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "app/conversion.h"
#include "app/inputs/tarvo/grid_reader.h"
#include "app/pipeline/converter.h"
#include "app/platform/base/errors.h"
#include "fuzz/fuzz_support.h"
#include "image/format.h"
#include "image/kova_img.h"

namespace {

using kova::fuzz::Check;

// The code of a grid cell by the exact rule: q = (value - offset) / factor
// in extended precision, rounded to a double; outside MinCode..MaxCode (or a
// no-data cell) NoDataCode, otherwise q rounded half to even.
std::uint8_t ExactCode(float value, bool no_data, const kova::KovaHeader& h) {
  if (no_data) return h.NoDataCode;
  const long double q = (static_cast<long double>(value) - kova::DecodeReal48(h.ScaleOffset)) /
                        kova::DecodeReal48(h.ScaleFactor);
  const double v = static_cast<double>(q);
  if (std::isnan(v) || v > h.MaxCode || v < h.MinCode) return h.NoDataCode;
  return static_cast<std::uint8_t>(std::nearbyint(v));
}

void CheckOutput(const std::string& grid_path, const std::string& output_path,
                 kova::GridLimits limits) {
  kova::GridReader reader;
  kova::GridHeader grid;
  kova::GridData cells;
  reader.ReadGridHeader(grid_path, grid);  // read once already by the run
  reader.ReadGridValues(grid, cells, limits);
  cells.Cols = grid.GridCols;
  cells.Rows = grid.GridRows;

  kova::TKovaImg image;
  image.SetFileName(output_path);
  Check(image.Status() == 1, "a converted image does not attach as valid");
  Check(image.Columns() == grid.GridCols && image.Rows() == grid.GridRows,
        "a converted image has a size other than its grid's");
  Check(image.Title() == kova::PadRight(kova::ImageTitleFor(grid_path), kova::kTitleLength),
        "a converted image has a title that does not name its grid");
  std::string bytes;
  Check(kova::fuzz::ReadBytes(output_path, bytes), "a converted image cannot be read");
  Check(bytes.size() == kova::kHeaderSize + static_cast<std::size_t>(image.Rows()) *
                                                static_cast<std::size_t>(image.Columns()),
        "a converted image is not exactly its header and raster");

  const kova::KovaHeader& h = image.Header();
  for (int r = 0; r < cells.Rows; ++r) {
    for (int c = 0; c < cells.Cols; ++c) {
      const auto code = static_cast<std::uint8_t>(
          bytes[kova::kHeaderSize + static_cast<std::size_t>(r) * cells.Cols + c]);
      const std::uint8_t exact = ExactCode(cells.at(r, c), cells.IsNoData(r, c), h);
      if (code != exact) {
        std::fprintf(stderr, "row %d column %d value %a: code %d, exact rule %d\n", r, c,
                     static_cast<double>(cells.at(r, c)), code, exact);
        kova::fuzz::Fail("a pixel code differs from the exact rule");
      }
    }
  }
}

// The names of the files in the scratch folder.
std::set<std::string> FilesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kova::fuzz::SilenceStandardOutput();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool image_limits = (data[1] & 0x80) != 0;
  std::size_t template_size = data[0] | static_cast<std::size_t>(data[1] & 0x7F) << 8;
  data += 2;
  size -= 2;
  if (template_size > size) template_size = size;

  const kova::fuzz::ScratchDir& dir = kova::fuzz::Scratch();
  static const std::string template_path = dir.File("template.img");
  static const std::string grid_path = dir.File("grid.asc");
  static const std::string output_path = dir.File("grid.img");
  const std::string_view template_bytes(reinterpret_cast<const char*>(data), template_size);
  const std::string_view grid_bytes(reinterpret_cast<const char*>(data + template_size),
                                    size - template_size);
  kova::fuzz::WriteBytes(template_path, data, template_size);
  kova::fuzz::WriteBytes(grid_path, data + template_size, size - template_size);
  std::remove(output_path.c_str());

  kova::fuzz::SilentUi ui;
  kova::ScopedUi scoped(ui);
  kova::TKovaImg image;
  kova::ConversionSettings settings{template_path, std::nullopt};
  if (image_limits) settings.grid_limits = kova::kImageGridLimits;
  kova::Converter converter(image, settings, dir.Path());
  bool converted = false;
  try {
    converter.Run(grid_path, output_path);
    converted = true;
  } catch (const kova::KovaError&) {
    // A grid or template the run refuses, or a floating-point error.
  }

  std::string after;
  Check(kova::fuzz::ReadBytes(template_path, after) && after == template_bytes,
        "the run changed the template");
  Check(kova::fuzz::ReadBytes(grid_path, after) && after == grid_bytes, "the run changed the grid");
  std::set<std::string> expected{"template.img", "grid.asc"};
  if (converted) expected.insert("grid.img");
  Check(FilesIn(dir.Path()) == expected,
        converted ? "a run left a file other than its output" : "a failed run left a file behind");
  if (converted) CheckOutput(grid_path, output_path, settings.grid_limits);
  return 0;
}
