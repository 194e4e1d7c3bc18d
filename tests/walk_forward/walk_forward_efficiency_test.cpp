// The walk-forward efficiency: a ratio only over an in-sample gain.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tester/sweep/walk_forward_report.h"

namespace kmr {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(WalkForwardEfficiency, IsARatioOnlyOverAnInSampleGain) {
  const struct {
    const char* what;
    std::optional<double> outOfSample, inSample, efficiency;
  } cases[] = {
      {"gain over gain", 0.05, 0.10, 0.5},
      {"loss over gain", -0.05, 0.10, -0.5},
      {"more than in sample", 0.3, 0.2, 0.3 / 0.2},
      {"nothing over gain", 0.0, 0.10, 0.0},
      {"over no return", 0.05, 0.0, std::nullopt},
      {"over minus zero", 0.05, -0.0, std::nullopt},
      {"loss over loss", -0.20, -0.10, std::nullopt},  // would read 2
      {"gain over loss", 0.05, -0.10, std::nullopt},
      {"no in-sample return", 0.05, std::nullopt, std::nullopt},
      {"no out-of-sample return", std::nullopt, 0.10, std::nullopt},
      {"neither", std::nullopt, std::nullopt, std::nullopt},
      {"over infinity", 0.05, kInfinity, std::nullopt},
      {"over NaN", 0.05, kNaN, std::nullopt},
      {"infinity over gain", kInfinity, 0.10, std::nullopt},
      {"NaN over gain", kNaN, 0.10, std::nullopt},
      {"a ratio too large for a double", 1e300, 1e-300, std::nullopt},
  };
  for (const auto& c : cases) {
    const std::optional<double> efficiency = WalkForwardEfficiency(c.outOfSample, c.inSample);
    EXPECT_EQ(efficiency.has_value(), c.efficiency.has_value()) << c.what;
    if (efficiency && c.efficiency) {
      EXPECT_EQ(*efficiency, *c.efficiency) << c.what;
    }
  }
}

}  // namespace
}  // namespace kmr
