// The outlier rule on grids built in memory: which grids warn (and of which
// value, where) and which do not.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "app/conversion.h"
#include "app/value_spread.h"

namespace kova {
namespace {

// cols x rows cells evenly spread over 0..30 (a hundred distinct values),
// every 50th cell no data.
GridData SpreadGrid(int cols, int rows) {
  GridData grid;
  grid.Cols = cols;
  grid.Rows = rows;
  for (int i = 0; i < cols * rows; ++i) {
    grid.Values.push_back(static_cast<float>(i % 100) * 0.3f);
    grid.NoData.push_back(i % 50 == 49 ? 1 : 0);
  }
  return grid;
}

struct Spike {
  int at;
  float value;
};

struct OutlierCase {
  const char* label;
  int cols, rows;
  std::vector<Spike> spikes;
  bool warns;
  float value = 0;  // the value named, and where (from 1)
  int row = 0, column = 0;
};

void PrintTo(const OutlierCase& c, std::ostream* os) {
  *os << c.label;
}

class OutlierRule : public ::testing::TestWithParam<OutlierCase> {};

TEST_P(OutlierRule, WarnsOfTheFarValueWhereItIs) {
  const OutlierCase& c = GetParam();
  GridData grid = SpreadGrid(c.cols, c.rows);
  for (const Spike& spike : c.spikes) grid.Values[static_cast<std::size_t>(spike.at)] = spike.value;
  float low = 0, high = 0;
  ASSERT_TRUE(ValidValueRange(grid, low, high));
  const std::optional<OutlierFinding> finding = FindOutliers(grid, ChooseValueScaling(low, high));
  ASSERT_EQ(finding.has_value(), c.warns);
  if (!finding) return;
  EXPECT_EQ(finding->value, c.value);
  EXPECT_EQ(finding->row, c.row);
  EXPECT_EQ(finding->column, c.column);
  EXPECT_EQ(finding->largest, c.value > 0);
  EXPECT_LE(finding->crowd_codes, kOutlierCrowdCodes);
  EXPECT_EQ(finding->valid_cells - finding->crowd_cells, c.spikes.size());
}

INSTANTIATE_TEST_SUITE_P(
    Grids, OutlierRule,
    ::testing::Values(
        OutlierCase{"EvenlySpread", 60, 40, {}, false},
        OutlierCase{"OneUndeclared9999", 60, 40, {{130, 9999.0f}}, true, 9999.0f, 3, 11},
        OutlierCase{"OneFarNegative", 60, 40, {{2348, -50000.0f}}, true, -50000.0f, 40, 9},
        // 0.1 % of about 2350 valid cells is 2.
        OutlierCase{"TwoSpikesBothFar", 60, 40, {{5, 9000.0f}, {7, 9999.0f}}, true, 9999.0f, 1, 8},
        OutlierCase{"ThreeSpikesAreTooManyForTheRule",
                    60,
                    40,
                    {{5, 9999.0f}, {6, 9999.0f}, {7, 9999.0f}},
                    false},
        // 99 valid cells: too few to tell outliers from the data.
        OutlierCase{"SmallGrid", 10, 10, {{0, 9999.0f}}, false},
        // A spike that keeps the rest over many codes (30 of 300 is 25 codes).
        OutlierCase{"ModestSpike", 60, 40, {{3, 300.0f}}, false}));

}  // namespace
}  // namespace kova
