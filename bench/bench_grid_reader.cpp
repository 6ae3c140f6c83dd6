// Throughput of the grid reader on the largest grid a run converts: 800 x 300
// values with three decimals, about one in ten of them no-data.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/inputs/tarvo/grid_reader.h"
#include "app/platform/base/cpu_tier.h"
#include "bench/max_grid.h"

namespace {

using kova::bench::GridFile;
using kova::bench::TheExponentGridFile;
using kova::bench::TheGridFile;

using kova::CpuTier;

// Header and values of the file, as a run reads them, with the common tokens
// read by the kernels of `tier` at most.
void ReadGrid(benchmark::State& state, const GridFile& file, CpuTier tier) {
  const kova::CpuTierLimit limit(tier);
  kova::GridData grid;
  kova::GridHeader header;
  for (auto _ : state) {
    kova::GridReader reader;
    reader.ReadGridHeader(file.path(), header);
    reader.ReadGridValues(header, grid);
    reader.Close();
    benchmark::DoNotOptimize(grid.Values.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(file.text().size()));
  state.counters["values/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kova::kMaxGridRows * kova::kMaxGridCols,
      benchmark::Counter::kIsRate);
}

void BM_ReadMaximumGrid(benchmark::State& state) {
  ReadGrid(state, TheGridFile(), CpuTier::kAvx2);
}
BENCHMARK(BM_ReadMaximumGrid)->Unit(benchmark::kMillisecond);

// The same with the common tokens read in pairs, as on a processor without
// AVX2.
void BM_ReadMaximumGridInPairs(benchmark::State& state) {
  ReadGrid(state, TheGridFile(), CpuTier::kSsse3);
}
BENCHMARK(BM_ReadMaximumGridInPairs)->Unit(benchmark::kMillisecond);

// The same with the common tokens read one by one, as on a processor
// without SSSE3.
void BM_ReadMaximumGridOneByOne(benchmark::State& state) {
  ReadGrid(state, TheGridFile(), CpuTier::kBaseline);
}
BENCHMARK(BM_ReadMaximumGridOneByOne)->Unit(benchmark::kMillisecond);

// The same values with exponents: every token takes the general way, and
// the fastest way must be no slower than pairs (four at once rest there).
void BM_ReadExponentGrid(benchmark::State& state) {
  ReadGrid(state, TheExponentGridFile(), CpuTier::kAvx2);
}
BENCHMARK(BM_ReadExponentGrid)->Unit(benchmark::kMillisecond);

void BM_ReadExponentGridInPairs(benchmark::State& state) {
  ReadGrid(state, TheExponentGridFile(), CpuTier::kSsse3);
}
BENCHMARK(BM_ReadExponentGridInPairs)->Unit(benchmark::kMillisecond);

// The decimal conversion alone, on the value tokens of the same grid.
void BM_ParseGridFloat(benchmark::State& state) {
  const std::string& text = TheGridFile().text();
  std::vector<std::string> tokens;
  std::size_t bytes = 0;
  std::size_t start = text.find("-9999\n") + 6;
  for (std::size_t i = start; i < text.size();) {
    std::size_t stop = text.find_first_of(" \r\n", i);
    if (stop == std::string::npos) stop = text.size();
    if (stop > i && text.compare(i, stop - i, "-9999") != 0) {
      tokens.push_back(text.substr(i, stop - i));
      bytes += stop - i + 1;
    }
    i = stop + 1;
  }
  for (auto _ : state) {
    float sum = 0;
    for (const std::string& token : tokens) sum += kova::ParseGridFloat(token);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_ParseGridFloat)->Unit(benchmark::kMillisecond);

}  // namespace
