// The table kmr-sweep --walk-forward prints: figures with two decimals as the page shows them,
// "-" where there is none, in Zurich's local time (the tests' zone).
#include "tester/sweep/walk_forward_table.h"

#include <gtest/gtest.h>

#include <ctime>
#include <sstream>

namespace kmr {
namespace {

std::int32_t Local(int year, int month, int day, int hour = 0) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_isdst = -1;
  return static_cast<std::int32_t>(std::mktime(&fields));
}

WalkForwardWindowResult Window(std::size_t index, std::int32_t testStart, std::int32_t testEnd) {
  WalkForwardWindowResult w;
  w.window.index = index;
  w.window.trainEnd = w.window.testStart = testStart;
  w.window.testEnd = testEnd;
  return w;
}

TEST(WalkForwardTable, ALinePerWindowAndTheWhole) {
  WalkForwardReport report;
  report.rankBy = "netProfit";
  WalkForwardWindowResult chosen = Window(0, Local(1997, 4, 1), Local(1997, 9, 30));
  chosen.ok = true;
  chosen.params = {{"cad-profit", "150"}, {"trend", "h200,t100,x50,25,12"}};
  chosen.inSampleCommand = "kmr-replay ...";
  chosen.inSample.netProfit = 134752.50000000012;
  chosen.outOfSample.netProfitWithOpen = -2905.0000000000146;
  chosen.efficiency = 0.12345;
  WalkForwardWindowResult loss = Window(1, Local(1997, 9, 30), Local(1998, 3, 31));
  loss.ok = true;
  loss.params = {{"cad-profit", "50"}};
  loss.inSampleCommand = "kmr-replay ...";
  loss.inSample.netProfit = -12.499999999999982;
  loss.outOfSample.netProfitWithOpen = 8.499999999998899;
  WalkForwardWindowResult failed = Window(2, Local(1998, 3, 31), Local(1998, 4, 2, 23));
  failed.error = "no run of the training period succeeded";
  report.windows = {chosen, loss, failed};
  report.stitchedStatistics.netProfitWithOpen = -2896.5000000000155;
  report.stitchedStatistics.maxDrawdown = 38121.500000000015;
  report.stitchedStatistics.annualReturn = -0.0132;

  std::istringstream lines(WalkForwardTable(report));
  std::vector<std::string> table;
  for (std::string line; std::getline(lines, line);) table.push_back(line);
  const std::vector<std::string> expected = {
      "window test from           test to               IS netProfit        OOS net efficiency  "
      "chosen",
      "0      1997-04-01 00:00:00 1997-09-30 00:00:00      134752.50       -2905.00      0.123  "
      "cad-profit=150 trend=h200,t100,x50,25,12",
      "1      1997-09-30 00:00:00 1998-03-31 00:00:00         -12.50           8.50          -  "
      "cad-profit=50",
      "2      1998-03-31 00:00:00 1998-04-02 23:00:00              -              -          -  "
      "error: no run of the training period succeeded",
      "out of sample: net profit -2896.50 (with open), max drawdown 38121.50, annual return "
      "-0.0132, efficiency -",
  };
  EXPECT_EQ(table, expected);
}

TEST(WalkForwardTable, TheRankedInSampleFigureHasTwoDecimalsOrIsACount) {
  const struct {
    const char* rankBy;
    double RunStatistics::*money;
    std::optional<double> RunStatistics::*ratio;
    double value;
    const char* shown;
  } cases[] = {
      {"netProfit", &RunStatistics::netProfit, nullptr, 1474.0000000000146, "1474.00"},
      {"maxDrawdown", &RunStatistics::maxDrawdown, nullptr, 2313.000000000012, "2313.00"},
      {"sharpe", nullptr, &RunStatistics::sharpe, 0.7675449894144875, "0.77"},
      {"profitFactor", nullptr, &RunStatistics::profitFactor, 2.7538593481989584, "2.75"},
      {"sortino", nullptr, nullptr, 0, "-"},                 // no value: no daily returns
      {"longestDrawdownSeconds", nullptr, nullptr, 0, "0"},  // a name wider than 14
      {"trades", nullptr, nullptr, 0, "0"},                  // a count: whole
  };
  for (const auto& c : cases) {
    WalkForwardReport report;
    report.rankBy = c.rankBy;
    WalkForwardWindowResult w = Window(0, Local(1997, 4, 1), Local(1997, 9, 30));
    w.inSampleCommand = "kmr-replay ...";
    if (c.money != nullptr) w.inSample.*c.money = c.value;
    if (c.ratio != nullptr) w.inSample.*c.ratio = c.value;
    report.windows = {w};
    std::istringstream lines(WalkForwardTable(report));
    std::string header, line, word;
    std::getline(lines, header);
    std::getline(lines, line);
    std::istringstream words(line);
    for (int i = 0; i < 6; ++i) words >> word;  // the window, two times, the figure
    EXPECT_EQ(word, c.shown) << c.rankBy << ": " << line;
    // The figure ends below the end of its column's name.
    const std::size_t name = header.find("IS " + std::string(c.rankBy));
    ASSERT_NE(name, std::string::npos) << header;
    EXPECT_EQ(line.find(" " + word + " ") + word.size() + 1,
              name + std::string(c.rankBy).size() + 3)
        << header << "\n"
        << line;
  }
}

}  // namespace
}  // namespace kmr
