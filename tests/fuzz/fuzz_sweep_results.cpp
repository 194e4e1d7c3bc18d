// The results file read back to resume or merge: any bytes give rows, a dropped torn tail or
// one error naming the line; the rows kept are exactly the whole lines before the torn one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tester/sweep/json_line.h"
#include "tester/sweep/sweep_results.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const kmr::ResultsText read = kmr::ParseResults(text, "r.jsonl");
  FUZZ_CHECK(read.goodBytes <= size);
  FUZZ_CHECK(read.goodBytes == 0 || text[read.goodBytes - 1] == '\n');
  if (read.error.empty() && !read.torn) FUZZ_CHECK(read.goodBytes == size);
  if (!read.error.empty()) FUZZ_CHECK(read.error.rfind("r.jsonl:", 0) == 0);
  std::string kept;
  for (const kmr::ResultRow& row : read.rows) {
    FUZZ_CHECK(row.line.find('\n') == std::string::npos);
    FUZZ_CHECK(row.index < row.runs);
    kept += row.line + "\n";
  }
  FUZZ_CHECK(kept == text.substr(0, read.goodBytes));
  // The kept rows read again are the same rows; the CSV and the ranking take any of them.
  const kmr::ResultsText again = kmr::ParseResults(kept, "r.jsonl");
  FUZZ_CHECK(again.error.empty() && !again.torn && again.rows.size() == read.rows.size());
  kmr::ResultsCsv(read.rows);
  kmr::RankingTable(read.rows, "netProfit", 5);
  kmr::ParseJson(text);
  return 0;
}
