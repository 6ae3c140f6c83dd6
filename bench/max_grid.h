// The largest grid a run converts, 800 x 300 rainfall-like values from 0 to
// 99.999 with three decimals and about one in ten of them no-data (about
// 1.6 MB of text), made the same way every time and written
// once to a temporary file.
#pragma once

#include <unistd.h>  // getpid

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/inputs/tarvo/grid_reader.h"

namespace kova::bench {

// The grid text, generated the same way every time; with `exponents`, each
// value written as 4.5678e+01, a token the general way reads.
inline std::string MaximumGridText(bool exponents = false) {
  std::string text =
      "columns 800\nrows 300\nleft -180.0\nbottom -67.5\ncell 0.45\n"
      "nodata -9999\n";
  std::mt19937 rng(20240611u);
  std::uniform_int_distribution<int> value(0, 99999);  // thousandths: 0.000 to 99.999
  char number[32];
  for (int r = 0; r < kova::kMaxGridRows; ++r) {
    for (int c = 0; c < kova::kMaxGridCols; ++c) {
      if (c != 0) text += ' ';
      if (rng() % 10 == 0) {
        text += "-9999";
        continue;
      }
      int v = value(rng);
      if (exponents) {
        std::snprintf(number, sizeof number, "%.4e", v / 1000.0);
      } else {
        std::snprintf(number, sizeof number, "%s%d.%03d", v < 0 ? "-" : "", std::abs(v) / 1000,
                      std::abs(v) % 1000);
      }
      text += number;
    }
    text += "\r\n";
  }
  return text;
}

// The grid written once to a temporary file, removed at exit.
class GridFile {
 public:
  explicit GridFile(bool exponents = false) {
    text_ = MaximumGridText(exponents);
    path_ = (std::filesystem::temp_directory_path() /
             ("kova-bench-grid-" + std::string(exponents ? "exponents-" : "") +
              std::to_string(::getpid()) + ".asc"))
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

inline const GridFile& TheGridFile() {
  static const GridFile file;
  return file;
}

// The same values written with exponents.
inline const GridFile& TheExponentGridFile() {
  static const GridFile file(true);
  return file;
}

}  // namespace kova::bench
