#include "tester/sweep/walk_forward_table.h"

#include <algorithm>

#include "tester/replay/replay_command.h"
#include "tester/report/report_format.h"
#include "tester/settings/text_convert.h"

namespace kmr {

std::string WalkForwardTable(const WalkForwardReport& report) {
  // The ranked figure's column as wide as its name, the others as wide as their widest text.
  const std::string ranked = "IS " + report.rankBy;
  const int width = std::max<int>(14, static_cast<int>(ranked.size()));
  std::string text = Format("%-6s %-19s %-19s %*s %14s %10s  %s\n", "window", "test from",
                            "test to", width, ranked.c_str(), "OOS net", "efficiency", "chosen");
  for (const WalkForwardWindowResult& w : report.windows) {
    std::string chosen;
    for (const auto& [name, value] : w.params)
      chosen += (chosen.empty() ? "" : " ") + name + "=" + value;
    const std::string figure = RankedFigureText(w, report.rankBy);
    text += Format("%-6zu %-19s %-19s %*s %14s %10s  %s\n", w.window.index,
                   LocalTimeOptionText(w.window.testStart).c_str(),
                   LocalTimeOptionText(w.window.testEnd).c_str(), width, figure.c_str(),
                   w.ok ? Format("%.2f", w.outOfSample.netProfitWithOpen).c_str() : "-",
                   w.efficiency ? Format("%.3f", *w.efficiency).c_str() : "-",
                   w.ok ? chosen.c_str() : ("error: " + w.error).c_str());
  }
  const RunStatistics& s = report.stitchedStatistics;
  text += Format(
      "out of sample: net profit %.2f (with open), max drawdown %.2f, annual return %s, "
      "efficiency %s\n",
      s.netProfitWithOpen, s.maxDrawdown,
      s.annualReturn ? Format("%.4f", *s.annualReturn).c_str() : "-",
      report.efficiency ? Format("%.3f", *report.efficiency).c_str() : "-");
  return text;
}

}  // namespace kmr
