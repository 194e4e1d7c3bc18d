// The equity and drawdown charts of a reduced curve, as both report pages draw them: each step's
// equity range as a band, its last equity and the balance as lines, the drawdown as an area
// below zero. A page adds its own markers before it renders them.
#pragma once

#include <string>
#include <vector>

#include "tester/report/html/html_chart.h"
#include "tester/report/run_recording.h"

namespace kmr {

inline constexpr const char* kEquityColor = "#1d5fd1";
inline constexpr const char* kBalanceColor = "#e0892b";
inline constexpr const char* kDrawdownColor = "#c62828";

struct EquityCharts {
  ChartSpec equity;
  ChartSpec drawdown;
};

EquityCharts EquityChartsOf(const std::vector<CurveBucket>& curve, std::string equityTitle,
                            const std::string& emptyText);

}  // namespace kmr
