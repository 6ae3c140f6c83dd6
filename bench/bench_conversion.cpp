// The whole conversion of the largest grid: reading it, preparing the header
// from the template, creating the image and writing its 300 rows.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/conversion.h"
#include "app/inputs/tarvo/grid_reader.h"
#include "app/pipeline/converter.h"
#include "app/platform/base/cpu_tier.h"
#include "app/value_spread.h"
#include "bench/max_grid.h"
#include "host/ui.h"
#include "image/kova_img.h"
#include "image/pixel_coder.h"
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

namespace {

// The pixel coding of the maximum-size grid's 240,000 values alone: the
// run's block coder on the 4-byte values and no-data flags, and the row
// writer's value-by-value coding of 8-byte values (no data as NaN).
struct CodingInput {
  std::vector<float> values;
  std::vector<std::uint8_t> no_data;
  std::vector<double> doubles;
  kova::PixelCoder coder{-0.001L, 0.39525691699604742L, 0, 253, 254};

  CodingInput() {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> thousandths(0, 99999);
    for (int i = 0; i < kova::kMaxGridRows * kova::kMaxGridCols; ++i) {
      const bool missing = rng() % 10 == 0;
      values.push_back(missing ? kova::kNoDataMarker : thousandths(rng) / 1000.0f);
      no_data.push_back(missing ? 1 : 0);
      doubles.push_back(missing ? std::nan("") : values.back());
    }
  }
};

void BM_CodeMaximumGridInBlocks(benchmark::State& state) {
  static const CodingInput input;
  std::vector<std::uint8_t> codes(input.values.size());
  for (auto _ : state) {
    input.coder.CodeValues(input.values.data(), input.no_data.data(), input.values.size(),
                           codes.data());
    benchmark::DoNotOptimize(codes.data());
  }
}
BENCHMARK(BM_CodeMaximumGridInBlocks)->Unit(benchmark::kMicrosecond);

// The same two values to a register, as on a processor without AVX2.
void BM_CodeMaximumGridInBlocksSse2(benchmark::State& state) {
  const kova::CpuTierLimit limit(kova::CpuTier::kBaseline);
  BM_CodeMaximumGridInBlocks(state);
}
BENCHMARK(BM_CodeMaximumGridInBlocksSse2)->Unit(benchmark::kMicrosecond);

void BM_CodeMaximumGridValueByValue(benchmark::State& state) {
  static const CodingInput input;
  std::vector<std::uint8_t> codes(input.values.size());
  for (auto _ : state) {
    for (std::size_t i = 0; i < codes.size(); ++i) codes[i] = input.coder.Code(input.doubles[i]);
    benchmark::DoNotOptimize(codes.data());
  }
}
BENCHMARK(BM_CodeMaximumGridValueByValue)->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {

// The outlier check that follows each conversion, on the maximum-size grid:
// values spread (the usual case, decided by a look at every 16th cell) and
// with one far value (every cell counted).
void BM_FindOutliers(benchmark::State& state) {
  static const CodingInput input;
  kova::GridData grid;
  grid.Cols = kova::kMaxGridCols;
  grid.Rows = kova::kMaxGridRows;
  grid.Values = input.values;
  grid.NoData = input.no_data;
  if (state.range(0) != 0) grid.Values[12345] = 9.9e6f;
  float low = 0, high = 0;
  kova::ValidValueRange(grid, low, high);
  const kova::ValueScaling scaling = kova::ChooseValueScaling(low, high);
  for (auto _ : state) benchmark::DoNotOptimize(kova::FindOutliers(grid, scaling));
}
BENCHMARK(BM_FindOutliers)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
