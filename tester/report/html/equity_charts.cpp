#include "tester/report/html/equity_charts.h"

#include <utility>

namespace kmr {

EquityCharts EquityChartsOf(const std::vector<CurveBucket>& curve, std::string equityTitle,
                            const std::string& emptyText) {
  EquityCharts charts;
  ChartSpec& equity = charts.equity;
  equity.title = std::move(equityTitle);
  equity.includeY = 0;
  equity.emptyText = emptyText;
  ChartBand range{{}, {}, {}, kEquityColor, 0.18, ""};
  ChartLine equityLine{{}, kEquityColor, 1.6, false, "Equity"};
  ChartLine balanceLine{{}, kBalanceColor, 1.3, true, "Balance"};
  ChartSpec& drawdown = charts.drawdown;
  drawdown.title = "Drawdown";
  drawdown.height = 190;
  drawdown.includeY = 0;
  drawdown.emptyText = emptyText;
  ChartBand drawdownArea{{}, {}, {}, kDrawdownColor, 0.3, ""};
  for (const CurveBucket& b : curve) {
    const double x = b.lastTime;
    range.x.push_back(x);
    range.low.push_back(b.equity.min);
    range.high.push_back(b.equity.max);
    equityLine.points.push_back({x, b.equity.last});
    balanceLine.points.push_back({x, b.balance});
    drawdownArea.x.push_back(x);
    drawdownArea.low.push_back(-b.maxDrawdown);
    drawdownArea.high.push_back(0);
  }
  equity.bands.push_back(std::move(range));
  equity.lines.push_back(std::move(equityLine));
  equity.lines.push_back(std::move(balanceLine));
  drawdown.bands.push_back(std::move(drawdownArea));
  return charts;
}

}  // namespace kmr
