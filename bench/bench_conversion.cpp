// The whole conversion of the largest grid: reading it, preparing the header
// from the template, creating the image and writing its 300 rows.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "app/conversion.h"
#include "app/platform/ui.h"
#include "bench/max_grid.h"
#include "image/kova_img.h"
#include "image/template_image.h"

namespace {

// Dialogs and cursor changes go nowhere while measuring.
class SilentUi : public kova::Ui {
 public:
  void ShowMessage(kova::MessageKind, const std::string&, const std::string&) override {}
  void SetCursor(kova::CursorKind) override {}
};

void BM_ConvertMaximumGrid(benchmark::State& state) {
  const kova::bench::GridFile& grid = kova::bench::TheGridFile();
  const std::filesystem::path directory = std::filesystem::path(grid.path()).parent_path();
  const std::string template_path = (directory / "bench-template.img").string();
  kova::WriteTemplateImage(template_path);
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
