// The axes: lists, decimal-exact ranges, chart lists, the grid's order, the random sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tester/sweep/sweep_axes.h"

namespace kmr {
namespace {

using Values = std::vector<std::string>;

TEST(SweepAxes, ListsRangesAndChartLists) {
  const struct {
    const char* text;
    Values values;
  } kCases[] = {
      {"smoothing1=10,20,30", {"10", "20", "30"}},
      {"smoothing1=7", {"7"}},
      {"cad-profit=50:200:50", {"50", "100", "150", "200"}},
      {"cad-profit=50:190:50", {"50", "100", "150"}},  // the end need not be on a step
      {"spread=0.0001:0.0003:0.0001", {"0.0001", "0.0002", "0.0003"}},  // exact, no 0.00030000001
      {"reversal-dev=0.1:0.5:0.2", {"0.1", "0.3", "0.5"}},
      {"cad-profit=-1:1:0.5", {"-1", "-0.5", "0", "0.5", "1"}},
      {"cad-profit=3:3:1", {"3"}},
      {"std-interval=50:2", {"50:2"}},  // two parts: the option's own form, not a range
      {"history-till=1996-10-01 00:00:00,1997-01-01 12:00:00",
       {"1996-10-01 00:00:00", "1997-01-01 12:00:00"}},
      {"trend=h200,t100,x50|h300,t150,x75", {"h200,t100,x50", "h300,t150,x75"}},
      {"entry=20,o40,t60", {"20,o40,t60"}},
      {"quotes=spread,bid-ask", {"spread", "bid-ask"}},
  };
  for (const auto& c : kCases) {
    const SweepAxis axis = ParseVary(c.text);
    EXPECT_EQ(axis.name, std::string(c.text).substr(0, std::string(c.text).find('=')));
    EXPECT_EQ(axis.values, c.values) << c.text;
  }
}

TEST(SweepAxes, TheFirstAxisVariesSlowest) {
  const std::vector<SweepAxis> axes = {{"a", {"1", "2"}}, {"b", {"x", "y", "z"}}};
  ASSERT_EQ(GridSize(axes), 6u);
  const std::vector<SweepRun> runs = MakeSweepRuns({"--defaults", "f.txt"}, axes, {}, false);
  ASSERT_EQ(runs.size(), 6u);
  EXPECT_EQ(runs[4].index, 4u);
  EXPECT_EQ(runs[4].params, (std::vector<std::pair<std::string, std::string>>{{"a", "2"},
                                                                              {"b", "y"}}));
  EXPECT_EQ(runs[4].replayArgs, (Values{"--defaults", "f.txt", "--a", "2", "--b", "y"}));
  EXPECT_NE(SweepIdOf(runs), SweepIdOf(MakeSweepRuns({"--defaults", "g.txt"}, axes, {}, false)));
  EXPECT_EQ(SweepIdOf(runs), SweepIdOf(MakeSweepRuns({"--defaults", "f.txt"}, axes, {}, false)));
  EXPECT_THROW(GridSize({{"a", Values(100000)}, {"b", Values(100000)}}), SweepOptionError);
}

TEST(SweepAxes, TheSampleIsTheSameOnEveryMachine) {
  // Fixed draws: a change of the generator or of its mapping changes every sampled sweep.
  EXPECT_EQ(SamplePositions(1000, 5, 1), (std::vector<std::uint64_t>{33, 580, 653, 761, 776}));
  EXPECT_EQ(SamplePositions(10, 10, 7).size(), 10u);  // the whole grid
  for (std::uint64_t seed = 0; seed < 50; ++seed) {
    const std::vector<std::uint64_t> sample = SamplePositions(97, 20, seed);
    ASSERT_EQ(sample.size(), 20u);
    EXPECT_EQ(std::set<std::uint64_t>(sample.begin(), sample.end()).size(), 20u);
    EXPECT_LT(sample.back(), 97u);
    EXPECT_TRUE(std::is_sorted(sample.begin(), sample.end()));
  }
  EXPECT_NE(SamplePositions(1000, 5, 1), SamplePositions(1000, 5, 2));
  // Every point is as likely: 20,000 draws of 1 from 4 land near 5,000 each.
  std::vector<int> hits(4);
  for (std::uint64_t seed = 0; seed < 20000; ++seed) ++hits[SamplePositions(4, 1, seed)[0]];
  for (int h : hits) EXPECT_NEAR(h, 5000, 300);
}

}  // namespace
}  // namespace kmr
