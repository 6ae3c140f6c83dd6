// The whole conversion of the largest grid: reading it, preparing the header
// from the template, creating the image and writing its 300 rows.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "app/conversion.h"
#include "app/platform/file.h"
#include "app/platform/ui.h"
#include "bench/max_grid.h"
#include "image/format.h"
#include "image/kova_img.h"

namespace {

// Dialogs and cursor changes go nowhere while measuring.
class SilentUi : public kova::Ui {
 public:
  void ShowMessage(kova::MessageKind, const std::string&, const std::string&) override {}
  void SetCursor(kova::CursorKind) override {}
};

// A type 200 latitude/longitude template beside the grid.
std::string WriteTemplate(const std::filesystem::path& directory) {
  kova::KovaHeader h;
  h.ImageType = 200;
  h.ProjectionType = 3;
  h.Rows = 1;
  h.Columns = 1;
  h.Title.fill(' ');
  h.PixelWidth = kova::EncodeReal48(1);
  h.PixelHeight = kova::EncodeReal48(1);
  h.ScaleFactor = kova::EncodeReal48(1);
  const std::string path = (directory / "bench-template.img").string();
  {
    const kova::HeaderBytes bytes = kova::EncodeHeader(h);
    kova::BinaryFile file(path, kova::FileAccess::CreateWrite);
    file.Write(bytes.data(), bytes.size());
    const std::uint8_t pixel = 254;
    file.Write(&pixel, 1);
    file.Close();
  }
  return path;
}

void BM_ConvertMaximumGrid(benchmark::State& state) {
  const kova::bench::GridFile& grid = kova::bench::TheGridFile();
  const std::filesystem::path directory = std::filesystem::path(grid.path()).parent_path();
  const std::string template_path = WriteTemplate(directory);
  const std::string output = grid.path() + ".img";
  SilentUi ui;
  kova::ScopedUi scoped(ui);
  kova::TKovaImg image;
  kova::Converter converter(image, {template_path, std::nullopt}, directory.string());
  for (auto _ : state) converter.Run(grid.path(), output);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(grid.text().size()));
  std::filesystem::remove(output);
  std::filesystem::remove(template_path);
}
BENCHMARK(BM_ConvertMaximumGrid)->Unit(benchmark::kMillisecond);

}  // namespace
