// The outlier rule and the clamping of a fixed range, on grids built in
// memory: which grids warn (and of which value, where), which do not, and how
// many cells a range moves.
#include <gtest/gtest.h>

#include <cmath>
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

const float kLargest = 98.0f * 0.3f;

struct ClampCase {
  const char* label;
  FixedValueRange range;
  std::size_t clamped;
  float low, high;  // the valid extremes afterwards
};

void PrintTo(const ClampCase& c, std::ostream* os) {
  *os << c.label;
}

class ClampRange : public ::testing::TestWithParam<ClampCase> {};

TEST_P(ClampRange, MovesValidValuesOutsideToTheNearerEnd) {
  const ClampCase& c = GetParam();
  GridData grid = SpreadGrid(10, 10);  // 98 valid values from 0 to 98 x 0.3, two no data
  grid.Values[49] = -1e30f;            // a no-data cell's value is never moved
  RangeCoding coding{c.range};
  ClampToRange(grid, coding);
  EXPECT_EQ(coding.Clamped, c.clamped);
  EXPECT_EQ(coding.GridMin, 0.0f);
  EXPECT_EQ(coding.GridMax, kLargest);
  float low = 0, high = 0;
  ASSERT_TRUE(ValidValueRange(grid, low, high));
  EXPECT_EQ(low, c.low);
  EXPECT_EQ(high, c.high);
  EXPECT_EQ(grid.Values[49], -1e30f);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ClampRange,
    ::testing::Values(ClampCase{"Around", {-1.0f, 100.0f}, 0, 0.0f, kLargest},
                      ClampCase{"Exactly", {0.0f, kLargest}, 0, 0.0f, kLargest},
                      // 0, 0.3, .. 2.7 below; 27.3 .. 29.4 above.
                      ClampCase{"BothEnds", {2.9f, 27.1f}, 18, 2.9f, 27.1f},
                      ClampCase{"AllBelow", {100.0f, 200.0f}, 98, 100.0f, 100.0f},
                      ClampCase{"AllAbove", {-20.0f, -10.0f}, 98, -10.0f, -10.0f}));

// A value clamped to MAX codes to 253 and one clamped to MIN to 0: the scale
// of a range puts MIN at code 0 and MAX within half a code of 253.
TEST(RangeScaling, EndsOfTheRangeAreTheEndCodes) {
  for (const FixedValueRange range : {FixedValueRange{0.0f, 200.0f}, FixedValueRange{-3.5f, 1e-3f},
                                      FixedValueRange{1013.25f, 1013.5f}}) {
    const ValueScaling s = ChooseValueScaling(range.Min, range.Max);
    EXPECT_EQ(std::nearbyint((static_cast<long double>(range.Min) - s.ScaleOffset) / s.ScaleFactor),
              0.0L);
    EXPECT_EQ(std::nearbyint((static_cast<long double>(range.Max) - s.ScaleOffset) / s.ScaleFactor),
              253.0L);
  }
}

}  // namespace
}  // namespace kova
