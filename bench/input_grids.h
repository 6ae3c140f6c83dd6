// The large field of the input benchmarks: 4000 x 2000 cells of 0.09
// degrees, rainfall-like values 0 to 99.999 with about one cell in ten
// without data, the same every time, written as a Tarvo grid, a GeoTIFF
// (tiled, deflate) and a NetCDF-4 file (classic for the reading benchmark
// too) by the test fixture writers.
#pragma once

#include <random>
#include <string>

#include "support/input_fixtures.h"

namespace kova::bench {

inline constexpr int kLargeCols = 4000;
inline constexpr int kLargeRows = 2000;

inline kova::testing::Field LargeField() {
  kova::testing::Field field{kLargeCols, kLargeRows, -180.0, -90.0, 0.09, 0.09, {}};
  field.values.reserve(static_cast<std::size_t>(kLargeCols) * kLargeRows);
  std::mt19937 rng(20240611u);
  std::uniform_int_distribution<int> value(0, 99999);
  for (int i = 0; i < kLargeCols * kLargeRows; ++i) {
    // Values a 4-byte float holds exactly, so that every kind carries the
    // same numbers.
    const double v = static_cast<float>(value(rng) / 1000.0);
    field.values.push_back(rng() % 10 == 0 ? std::nan("") : v);
  }
  return field;
}

inline kova::testing::TiffLayout LargeTiffLayout() {
  kova::testing::TiffLayout layout;
  layout.tiled = true;
  layout.compression = COMPRESSION_ADOBE_DEFLATE;
  layout.no_data = "-9999";
  return layout;
}

inline kova::testing::NetCdfLayout LargeNetCdfLayout(bool netcdf4) {
  kova::testing::NetCdfLayout layout;
  layout.netcdf4 = netcdf4;
  layout.fill = -9999;
  return layout;
}

}  // namespace kova::bench
