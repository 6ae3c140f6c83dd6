// Throughput of the grid reader on the largest grid a run converts: 800 x 300
// values with three decimals, about one in ten of them no-data.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>  // getpid

#include "app/grid_reader.h"

namespace {

// The grid text, generated the same way every time.
std::string MaximumGridText() {
  std::string text =
      "columns 800\nrows 300\nleft -180.0\nbottom -67.5\ncell 0.45\n"
      "nodata -9999\n";
  std::mt19937 rng(20240611u);
  std::uniform_int_distribution<int> value(-999999, 999999);  // thousandths
  char number[32];
  for (int r = 0; r < kova::kMaxGridRows; ++r) {
    for (int c = 0; c < kova::kMaxGridCols; ++c) {
      if (c != 0) text += ' ';
      if (rng() % 10 == 0) {
        text += "-9999";
        continue;
      }
      int v = value(rng);
      std::snprintf(number, sizeof number, "%s%d.%03d", v < 0 ? "-" : "", std::abs(v) / 1000,
                    std::abs(v) % 1000);
      text += number;
    }
    text += "\r\n";
  }
  return text;
}

// The grid written once to a temporary file, removed at exit.
class GridFile {
 public:
  GridFile() {
    text_ = MaximumGridText();
    path_ = (std::filesystem::temp_directory_path() /
             ("kova-bench-grid-" + std::to_string(::getpid()) + ".asc"))
                .string();
    std::ofstream(path_, std::ios::binary) << text_;
  }
  ~GridFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  const std::string& path() const { return path_; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  std::string path_;
};

const GridFile& TheGridFile() {
  static const GridFile file;
  return file;
}

// Header and values of the file, as a run reads them.
void BM_ReadMaximumGrid(benchmark::State& state) {
  const GridFile& file = TheGridFile();
  kova::GridValues values;
  kova::GridHeader header;
  float lo = 0;
  float hi = 0;
  for (auto _ : state) {
    kova::GridReader reader;
    reader.ReadGridHeader(file.path(), header);
    reader.ReadGridValues(header, values, lo, hi);
    reader.Close();
    benchmark::DoNotOptimize(lo);
    benchmark::DoNotOptimize(hi);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(file.text().size()));
  state.counters["values/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kova::kMaxGridRows * kova::kMaxGridCols,
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadMaximumGrid)->Unit(benchmark::kMillisecond);

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
