// The results of a sweep: FILE.jsonl, one line per finished run, appended as each finishes and
// read back to resume, and FILE.csv beside it; both rewritten whole, in run order, at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tester/sweep/json_line.h"

namespace kmr {

// A row as read back from a results file.
struct ResultRow {
  std::string sweep;   // the sweep's id
  std::uint64_t runs = 0;  // how many runs the sweep holds
  std::uint64_t index = 0;
  std::string line;  // as written, without its line feed
  JsonValue value;
};

struct ResultsText {
  std::vector<ResultRow> rows;  // in file order
  std::size_t goodBytes = 0;    // the bytes up to the end of the last whole line
  bool torn = false;            // a last line without its line feed (or not whole) was dropped
  std::string error;            // "FILE:LINE: why" for a bad line before the last; else empty
};

// The rows of a results file's text. A last line that lacks its line feed or does not read
// as a row is torn, from a kill: it is dropped. Any other line that is not a row is an error.
ResultsText ParseResults(std::string_view text, const std::string& fileName);

// The file's rows (none when it does not exist). Errors name the file.
ResultsText ReadResults(const std::string& path);

// FILE.csv for FILE.jsonl (the same stem).
std::string CsvPathFor(const std::string& jsonlPath);

// One header line and one row per result, in the order given: the index, the axis values, the
// error, the figures and statistics as the JSON lines hold them, the command.
std::string ResultsCsv(const std::vector<ResultRow>& rows);

// Both files, whole or not at all, the rows in the order given. Returns the error or "".
std::string WriteResultsFiles(const std::string& jsonlPath, const std::vector<ResultRow>& rows);

// Appends lines to the results file, each with a single write() of the whole line.
class ResultsAppender {
 public:
  ResultsAppender() = default;
  ~ResultsAppender();
  ResultsAppender(const ResultsAppender&) = delete;
  ResultsAppender& operator=(const ResultsAppender&) = delete;

  // Opens (creates) `path` and cuts it to `keepBytes`, dropping a torn last line.
  std::string Open(const std::string& path, std::size_t keepBytes);
  std::string Append(const std::string& line);  // `line` without its line feed
  void Close();

 private:
  int fd_ = -1;
  std::string path_;
};

// The rows sorted best first by the statistic `name` (see RankLowerIsBetter); rows without the
// statistic (failed runs, empty values) come last; ties in run order.
std::vector<const ResultRow*> RankRows(const std::vector<ResultRow>& rows, std::string_view name);

// Statistics where a smaller value ranks better (drawdowns, losing streaks, commission).
bool RankLowerIsBetter(std::string_view name);

// The best `top` rows as a table for people: rank, run, axis values, the ranked statistic and
// a few others; then the command of the best run.
std::string RankingTable(const std::vector<ResultRow>& rows, std::string_view name,
                         std::size_t top);

}  // namespace kmr
