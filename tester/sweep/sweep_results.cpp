#include "tester/sweep/sweep_results.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "tester/report/run_statistics.h"
#include "tester/report/whole_files.h"
#include "tester/settings/text_convert.h"

namespace kmr {

namespace {

// The figures of a row besides its statistics, in the order of the JSON line (the CSV leaves out
// those the statistics hold under the same name, to the bit the same).
constexpr std::string_view kFigureNames[] = {
    "file",        "lines",       "historyLines", "tradeLines", "historyBars",
    "floatingProfit", "closedProfit", "maxDrawdown", "maxPosition", "longDeals",
    "shortDeals",  "openDeals",   "accountSize"};

bool WholeNumber(const JsonValue* value, std::uint64_t& out) {
  if (value == nullptr || value->kind != JsonValue::Kind::kNumber) return false;
  const std::string& text = value->text;
  if (text.empty() || text.size() > 19) return false;
  out = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

// Why `line` is not a row, or "" when it is one.
std::string ReadRow(std::string_view line, ResultRow& row) {
  std::optional<JsonValue> value = ParseJson(line);
  if (!value) return "not a JSON object";
  if (value->kind != JsonValue::Kind::kObject) return "not a JSON object";
  const JsonValue* sweep = value->Find("sweep");
  if (sweep == nullptr || sweep->kind != JsonValue::Kind::kString) return "no sweep id";
  if (!WholeNumber(value->Find("runs"), row.runs)) return "no run count";
  if (!WholeNumber(value->Find("index"), row.index)) return "no run index";
  if (row.index >= row.runs) return "a run index beyond the sweep's runs";
  const JsonValue* params = value->Find("params");
  if (params == nullptr || params->kind != JsonValue::Kind::kObject) return "no params";
  row.sweep = sweep->text;
  row.line = std::string(line);
  row.value = std::move(*value);
  return {};
}

std::string CsvCell(std::string_view text) {
  if (text.find_first_of(",\"\n\r") == std::string_view::npos) return std::string(text);
  std::string cell = "\"";
  for (char c : text) cell += c == '"' ? std::string("\"\"") : std::string(1, c);
  return cell + "\"";
}

// A member as a cell: strings as their text, numbers as written, null and missing empty.
std::string Cell(const JsonValue* value) {
  if (value == nullptr || value->kind == JsonValue::Kind::kNull) return {};
  if (value->kind == JsonValue::Kind::kString) return CsvCell(value->text);
  if (value->kind == JsonValue::Kind::kNumber || value->kind == JsonValue::Kind::kBool)
    return value->text;
  return {};
}

std::optional<double> Statistic(const ResultRow& row, std::string_view name) {
  const JsonValue* statistics = row.value.Find("statistics");
  if (statistics == nullptr) return std::nullopt;
  const JsonValue* value = statistics->Find(name);
  if (value == nullptr || value->kind != JsonValue::Kind::kNumber) return std::nullopt;
  return std::strtod(value->text.c_str(), nullptr);
}

std::string ErrorText(int error) {
  return std::strerror(error);
}

}  // namespace

ResultsText ParseResults(std::string_view text, const std::string& fileName) {
  ResultsText result;
  std::size_t start = 0;
  long number = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    ++number;
    const bool last = end == std::string_view::npos || end + 1 == text.size();
    const std::string_view line =
        text.substr(start, end == std::string_view::npos ? text.npos : end - start);
    ResultRow row;
    const std::string why = end == std::string_view::npos ? "no line feed" : ReadRow(line, row);
    if (!why.empty()) {
      if (last) {
        result.torn = true;
        return result;
      }
      result.error = fileName + ":" + std::to_string(number) + ": " + why;
      return result;
    }
    result.rows.push_back(std::move(row));
    start = end + 1;
    result.goodBytes = start;
  }
  return result;
}

ResultsText ReadResults(const std::string& path) {
  ResultsText result;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) result.error = path + ": cannot open: " + ErrorText(errno);
    return result;
  }
  std::string text;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      result.error = path + ": read error: " + ErrorText(errno);
      close(fd);
      return result;
    }
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return ParseResults(text, path);
}

std::string CsvPathFor(const std::string& jsonlPath) {
  std::filesystem::path path(jsonlPath);
  path.replace_extension(".csv");
  return path.string();
}

std::string ResultsCsv(const std::vector<ResultRow>& rows) {
  std::vector<std::string> axes;
  if (!rows.empty())
    if (const JsonValue* params = rows.front().value.Find("params"))
      for (const auto& [name, value] : params->members) axes.push_back(name);
  std::string csv = "index";
  for (const std::string& axis : axes) csv += "," + CsvCell(axis);
  csv += ",error";
  std::vector<std::string_view> figures;
  for (std::string_view name : kFigureNames) {
    const auto statistics = StatisticNames();
    if (std::find(statistics.begin(), statistics.end(), name) == statistics.end())
      figures.push_back(name);
  }
  for (std::string_view name : figures) csv += "," + std::string(name);
  for (std::string_view name : StatisticNames()) csv += "," + std::string(name);
  csv += ",command\n";
  for (const ResultRow& row : rows) {
    csv += std::to_string(row.index);
    const JsonValue* params = row.value.Find("params");
    for (const std::string& axis : axes) csv += "," + Cell(params->Find(axis));
    csv += "," + Cell(row.value.Find("error"));
    for (std::string_view name : figures) csv += "," + Cell(row.value.Find(name));
    const JsonValue* statistics = row.value.Find("statistics");
    for (std::string_view name : StatisticNames())
      csv += "," + Cell(statistics != nullptr ? statistics->Find(name) : nullptr);
    csv += "," + Cell(row.value.Find("command")) + "\n";
  }
  return csv;
}

std::string WriteResultsFiles(const std::string& jsonlPath, const std::vector<ResultRow>& rows) {
  std::string jsonl;
  for (const ResultRow& row : rows) jsonl += row.line + "\n";
  const std::filesystem::path path(jsonlPath);
  const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
  return WriteWholeFiles(folder,
                         {{path.filename().string(), jsonl},
                          {std::filesystem::path(CsvPathFor(jsonlPath)).filename().string(),
                           ResultsCsv(rows)}});
}

ResultsAppender::~ResultsAppender() {
  Close();
}

std::string ResultsAppender::Open(const std::string& path, std::size_t keepBytes) {
  Close();
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return path + ": cannot open: " + ErrorText(errno);
  if (ftruncate(fd, static_cast<off_t>(keepBytes)) != 0) {
    const std::string error = path + ": cannot drop the torn last line: " + ErrorText(errno);
    close(fd);
    return error;
  }
  fd_ = fd;
  path_ = path;
  return {};
}

std::string ResultsAppender::Append(const std::string& line) {
  const std::string whole = line + "\n";
  for (;;) {
    const ssize_t written = write(fd_, whole.data(), whole.size());
    if (written < 0 && errno == EINTR) continue;
    if (written == static_cast<ssize_t>(whole.size())) return {};
    return path_ + ": write error: " +
           (written < 0 ? ErrorText(errno) : std::string("the disk is full"));
  }
}

void ResultsAppender::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool RankLowerIsBetter(std::string_view name) {
  for (std::string_view lower : {"losingTrades", "longestLosingStreak", "maxDrawdown",
                                 "maxDrawdownShare", "longestDrawdownSeconds", "totalCommission"})
    if (name == lower) return true;
  return false;
}

std::vector<const ResultRow*> RankRows(const std::vector<ResultRow>& rows, std::string_view name) {
  struct Ranked {
    const ResultRow* row;
    std::optional<double> value;
  };
  std::vector<Ranked> ranked;
  for (const ResultRow& row : rows) ranked.push_back({&row, Statistic(row, name)});
  const bool lower = RankLowerIsBetter(name);
  std::stable_sort(ranked.begin(), ranked.end(), [&](const Ranked& a, const Ranked& b) {
    if (a.value.has_value() != b.value.has_value()) return a.value.has_value();
    if (a.value && *a.value != *b.value) return lower ? *a.value < *b.value : *a.value > *b.value;
    return a.row->index < b.row->index;
  });
  std::vector<const ResultRow*> order;
  for (const Ranked& r : ranked) order.push_back(r.row);
  return order;
}

std::string RankingTable(const std::vector<ResultRow>& rows, std::string_view name,
                         std::size_t top) {
  const std::vector<const ResultRow*> order = RankRows(rows, name);
  std::vector<std::string_view> columns = {name};
  for (std::string_view other : {"netProfit", "trades", "winRate", "maxDrawdown", "sharpe"})
    if (other != name) columns.push_back(other);
  std::vector<std::string> axes;
  if (!rows.empty())
    if (const JsonValue* params = rows.front().value.Find("params"))
      for (const auto& [axis, value] : params->members) axes.push_back(axis);

  std::vector<std::vector<std::string>> table;
  std::vector<std::string> header = {"rank", "run"};
  header.insert(header.end(), axes.begin(), axes.end());
  for (std::string_view column : columns) header.emplace_back(column);
  table.push_back(header);
  for (std::size_t i = 0; i < order.size() && i < top; ++i) {
    const ResultRow& row = *order[i];
    std::vector<std::string> cells = {std::to_string(i + 1), std::to_string(row.index)};
    const JsonValue* params = row.value.Find("params");
    for (const std::string& axis : axes) {
      const JsonValue* value = params->Find(axis);
      cells.push_back(value != nullptr ? value->text : "");
    }
    const JsonValue* error = row.value.Find("error");
    for (std::string_view column : columns) {
      const std::optional<double> value = Statistic(row, column);
      cells.push_back(value ? Format("%.6g", *value) : error != nullptr ? "failed" : "-");
    }
    table.push_back(cells);
  }
  std::vector<std::size_t> widths(header.size(), 0);
  for (const auto& cells : table)
    for (std::size_t c = 0; c < cells.size(); ++c) widths[c] = std::max(widths[c], cells[c].size());
  std::string text;
  for (const auto& cells : table) {
    std::string line;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const std::string pad(widths[c] - cells[c].size(), ' ');
      line += (c ? "  " : "") + (c < 2 + axes.size() && c >= 2 ? cells[c] + pad : pad + cells[c]);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  if (!order.empty() && order.front()->value.Find("error") == nullptr)
    if (const JsonValue* command = order.front()->value.Find("command"))
      text += "best: " + command->text + "\n";
  return text;
}

}  // namespace kmr
