// The results file read back: whole rows, a torn last line, bad lines, the CSV and the ranking.
#include <gtest/gtest.h>

#include <algorithm>

#include "tester/sweep/sweep_results.h"
#include "tester/sweep/sweep_runner.h"

namespace kmr {
namespace {

std::string Row(std::size_t index, double netProfit, bool failed = false) {
  SweepRow row;
  row.index = index;
  row.params = {{"smoothing1", std::to_string(index)}, {"trend", "h200,t100"}};
  row.file = "prices, \"quoted\".txt";
  row.command = "kmr-replay --defaults x";
  row.ok = !failed;
  row.error = failed ? "bad\nline" : "";
  row.statistics.netProfit = netProfit;
  row.statistics.maxDrawdown = 1000 - netProfit;
  return SweepRowJson(row, "00000000000000aa", 4);
}

TEST(SweepResults, RowsReadBackAndATornLastLineIsDropped) {
  const std::string whole = Row(0, 10) + "\n" + Row(2, 30) + "\n";
  const ResultsText read = ParseResults(whole, "r.jsonl");
  EXPECT_TRUE(read.error.empty());
  EXPECT_FALSE(read.torn);
  ASSERT_EQ(read.rows.size(), 2u);
  EXPECT_EQ(read.rows[1].index, 2u);
  EXPECT_EQ(read.rows[1].runs, 4u);
  EXPECT_EQ(read.rows[1].sweep, "00000000000000aa");
  EXPECT_EQ(read.rows[1].line + "\n", Row(2, 30) + "\n");
  EXPECT_EQ(read.goodBytes, whole.size());
  EXPECT_EQ(Row(0, 10).find('\n'), std::string::npos);

  const std::string next = Row(3, 5);
  for (std::size_t cut = 0; cut <= next.size(); ++cut) {  // a kill at every byte of a write
    const ResultsText torn = ParseResults(whole + next.substr(0, cut), "r.jsonl");
    EXPECT_TRUE(torn.error.empty());
    EXPECT_EQ(torn.rows.size(), 2u);
    EXPECT_EQ(torn.torn, cut > 0);
    EXPECT_EQ(torn.goodBytes, whole.size());
  }
  const struct {
    std::string text, error;
  } kBad[] = {
      {"{\"x\": 1}\n" + whole, "r.jsonl:1: no sweep id"},
      {Row(0, 1) + "\nnot json\n" + Row(1, 1) + "\n", "r.jsonl:2: not a JSON object"},
      {Row(0, 1) + "\n\n" + Row(1, 1) + "\n", "r.jsonl:2: not a JSON object"},
      {Row(0, 1).replace(Row(0, 1).find("\"index\":0"), 9, "\"index\":9") + "\n" + whole,
       "r.jsonl:1: a run index beyond the sweep's runs"},
  };
  for (const auto& bad : kBad) EXPECT_EQ(ParseResults(bad.text, "r.jsonl").error, bad.error);
}

TEST(SweepResults, TheCsvAndTheRankingTakeTheRowsAsWritten) {
  const ResultsText read = ParseResults(
      Row(0, 10) + "\n" + Row(1, 30) + "\n" + Row(2, 0, true) + "\n" + Row(3, 20) + "\n", "r");
  ASSERT_EQ(read.rows.size(), 4u);
  const std::string csv = ResultsCsv(read.rows);
  EXPECT_EQ(csv.substr(0, csv.find('\n')).rfind("index,smoothing1,trend,error,file,lines,", 0), 0u);
  EXPECT_NE(csv.find("\n2,2,\"h200,t100\",\"bad\nline\",\"prices, \"\"quoted\"\".txt\",,"),
            std::string::npos)
      << csv;
  std::vector<std::size_t> order;
  for (const ResultRow* row : RankRows(read.rows, "netProfit")) order.push_back(row->index);
  EXPECT_EQ(order, (std::vector<std::size_t>{1, 3, 0, 2}));  // the failed run last
  order.clear();
  for (const ResultRow* row : RankRows(read.rows, "maxDrawdown")) order.push_back(row->index);
  EXPECT_EQ(order, (std::vector<std::size_t>{1, 3, 0, 2}));  // the smallest drawdown first
  const std::string table = RankingTable(read.rows, "netProfit", 2);
  EXPECT_NE(table.find("rank  run  smoothing1  trend"), std::string::npos) << table;
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4) << table;  // header, 2, best
}

}  // namespace
}  // namespace kmr
