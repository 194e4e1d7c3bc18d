#include "tester/sweep/walk_forward_session.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <string_view>

#include "tester/replay/replay_command.h"
#include "tester/replay/replay_options.h"
#include "tester/source/source_reader.h"
#include "tester/sweep/sweep_results.h"
#include "tester/sweep/sweep_runner.h"
#include "tester/sweep/sweep_session.h"
#include "tester/sweep/walk_forward_options.h"
#include "tester/sweep/walk_forward_plan.h"
#include "tester/sweep/walk_forward_record.h"
#include "tester/sweep/walk_forward_report.h"
#include "tester/sweep/walk_forward_stitch.h"
#include "tester/sweep/walk_forward_table.h"

namespace kmr {

namespace {

std::vector<std::string> WindowArgs(std::int32_t from, std::int32_t till, std::int32_t tradeTill) {
  return {"--history-from", LocalTimeOptionText(from),
          "--history-till", LocalTimeOptionText(till),
          "--trade-till",   LocalTimeOptionText(tradeTill)};
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// The file's first and last line time, read once; throws SourceError for a bad line.
std::pair<std::int32_t, std::int32_t> FileSpan(const std::string& path, bool readAsk) {
  SourceReader reader;
  if (!reader.Open(path)) throw std::runtime_error(path + ": cannot open");
  reader.SetReadAsk(readAsk);
  SourceLine line;
  long lines = 0;
  std::int32_t first = 0, last = 0;
  while (reader.ReadLine(line)) {
    if (lines++ == 0) first = line.time;
    last = line.time;
  }
  if (lines == 0) throw std::runtime_error(path + ": the file holds no price lines");
  return {first, last};
}

// The rows of `lines` (one JSON line each) as the results file reads them back.
std::vector<ResultRow> AsResultRows(const std::vector<const SweepRow*>& rows) {
  std::string text;
  for (const SweepRow* row : rows) text += row->json + "\n";
  return ParseResults(text, "rows").rows;
}

// The number as written (the shortest text that reads back as the same double).
bool ReadNumber(const JsonValue& value, double& number) {
  if (value.kind != JsonValue::Kind::kNumber) return false;
  const char* end = value.text.data() + value.text.size();
  const auto [at, failure] = std::from_chars(value.text.data(), end, number);
  return failure == std::errc() && at == end;
}

// What the walk-forward takes from an in-sample row of the results file; false when the row
// does not read as one kmr-sweep writes.
bool ReadBack(const ResultRow& result, SweepRow& row) {
  row.index = result.index;
  const JsonValue* command = result.value.Find("command");
  if (command == nullptr || command->kind != JsonValue::Kind::kString) return false;
  row.command = command->text;
  if (const JsonValue* error = result.value.Find("error")) {
    if (error->kind != JsonValue::Kind::kString) return false;
    row.ok = false;
    row.error = error->text;
    return true;
  }
  const JsonValue* statistics = result.value.Find("statistics");
  if (statistics == nullptr || statistics->kind != JsonValue::Kind::kObject) return false;
  for (const std::string_view name : StatisticNames()) {
    const JsonValue* value = statistics->Find(name);
    if (value == nullptr) return false;
    std::optional<double> number;
    if (value->kind != JsonValue::Kind::kNull) {
      double parsed = 0;
      if (!ReadNumber(*value, parsed)) return false;
      number = parsed;
    }
    if (!SetStatistic(row.statistics, name, number)) return false;
  }
  const JsonValue* account = result.value.Find("accountSize");
  if (account == nullptr || !ReadNumber(*account, row.statistics.accountSize)) return false;
  row.ok = true;
  return true;
}

double AccountSizeOf(const SweepOptions& options) {
  const ReplayOptions replay = ParseReplayOptions(options.baseArgs);
  return replay.accountSize.value_or(kDefaultAccountSize);
}

}  // namespace

int RunWalkForward(const SweepOptions& options, std::FILE* out, std::FILE* err) {
  WalkForwardPeriods periods;
  std::vector<WalkForwardWindow> windows;
  ReplayOptions replay;
  try {
    periods = ParseWalkForwardOptions(options);
    replay = ParseReplayOptions(options.baseArgs);
    const auto [first, last] = FileSpan(options.priceFile, replay.quotesFromFile);
    windows = PlanWalkForward(first, last, periods);
    CheckWalkForwardRuns(options, windows.size());
  } catch (const std::exception& error) {
    std::fprintf(err, "kmr-sweep: %s\n", error.what());
    return kSweepExitBadInput;
  }

  // Every window's grid in one list, so that the workers never wait for a window to finish.
  const std::vector<SweepRun> grid = SweepRunsOf(options);
  std::vector<SweepRun> inSample;
  inSample.reserve(windows.size() * grid.size());
  for (const WalkForwardWindow& w : windows) {
    for (const SweepRun& run : grid) {
      SweepRun r;
      r.index = inSample.size();
      r.params.emplace_back("window", std::to_string(w.index));
      r.params.insert(r.params.end(), run.params.begin(), run.params.end());
      r.replayArgs = With(run.replayArgs, WindowArgs(w.trainStart, w.warmupEnd, w.trainEnd));
      inSample.push_back(std::move(r));
    }
  }
  SweepExec exec;
  exec.jobs = options.jobs;
  exec.library = options.library;
  exec.priceCache = options.priceCache;
  exec.sweepId = SweepIdOf(inSample);
  exec.sweepRuns = inSample.size();
  // Appended as they finish, so that a walk-forward stopped on the way goes on where it was.
  std::vector<ResultRow> inResults;
  if (const int code = RunMissingRuns(options.out, inSample, exec, std::nullopt, inResults, err);
      code != 0)
    return code;
  if (const std::string error = WriteResultsFiles(options.out, inResults); !error.empty()) {
    std::fprintf(err, "kmr-sweep: %s\n", error.c_str());
    return kSweepExitBadInput;
  }
  std::vector<SweepRow> inRows(inSample.size());
  bool whole = inResults.size() == inSample.size();
  for (std::size_t i = 0; whole && i < inResults.size(); ++i)
    whole = inResults[i].index == i && ReadBack(inResults[i], inRows[i]);
  if (!whole) {
    std::fprintf(err,
                 "kmr-sweep: %s: not every run of the training periods reads back: remove "
                 "the file to start again\n",
                 options.out.c_str());
    return kSweepExitBadInput;
  }

  // Each training period's best run, on the test period that follows it.
  WalkForwardReport report;
  std::error_code ignored;
  report.priceFile = std::filesystem::absolute(options.priceFile, ignored).string();
  report.train = DurationText(periods.train);
  report.test = DurationText(periods.test);
  report.step = DurationText(periods.step);
  report.warmup = DurationText(periods.warmup);
  report.anchored = periods.anchored;
  report.rankBy = options.rankBy;
  report.accountSize = AccountSizeOf(options);
  std::vector<SweepRun> outOfSample;
  std::vector<std::size_t> outOfSampleWindow;
  for (const WalkForwardWindow& w : windows) {
    WalkForwardWindowResult result;
    result.window = w;
    result.runs = grid.size();
    std::vector<const SweepRow*> rows;
    std::vector<ResultRow> parsed;
    for (std::size_t i = 0; i < grid.size(); ++i) {
      const SweepRow& row = inRows[w.index * grid.size() + i];
      rows.push_back(&row);
      parsed.push_back(inResults[row.index]);
      result.failedRuns += !row.ok;
    }
    const std::vector<const ResultRow*> ranked = RankRows(parsed, options.rankBy);
    const SweepRow* best = ranked.empty() ? nullptr : &inRows[ranked.front()->index];
    if (best == nullptr || !best->ok) {
      result.error = "no run of the training period succeeded" +
                     (rows.empty() ? std::string() : ": " + rows.front()->error);
    } else {
      const std::size_t choice = best->index - w.index * grid.size();
      result.params = grid[choice].params;
      result.inSampleCommand = best->command;
      result.inSample = best->statistics;
      SweepRun run;
      run.index = outOfSample.size();
      run.params = grid[choice].params;
      run.replayArgs =
          With(grid[choice].replayArgs, WindowArgs(w.trainStart, w.testStart, w.testEnd));
      outOfSample.push_back(std::move(run));
      outOfSampleWindow.push_back(w.index);
    }
    report.windows.push_back(std::move(result));
  }
  SweepExec outExec = exec;
  outExec.sweepId = SweepIdOf(outOfSample);
  outExec.sweepRuns = outOfSample.size();
  std::vector<SweepRow> outRows(outOfSample.size());
  RunSweepRuns(outOfSample, outExec, [&](const SweepRow& row) { outRows[row.index] = row; });

  std::vector<RunRecording> recordings;
  double inSampleSum = 0;
  std::size_t inSampleCount = 0;
  for (std::size_t i = 0; i < outOfSample.size(); ++i) {
    WalkForwardWindowResult& result = report.windows[outOfSampleWindow[i]];
    const SweepRow& row = outRows[i];
    result.outOfSampleCommand = row.command;
    if (!row.ok) {
      result.error = row.error;
      continue;
    }
    // The same run again for its recording: the sweep's rows carry only the figures.
    RecordedRun recorded = RecordRunInChild(outOfSample[i].replayArgs, options.library);
    if (!recorded.ok) {
      result.error = recorded.error;
      continue;
    }
    result.ok = true;
    result.outOfSampleFigures = row.figures;
    result.outOfSample = row.statistics;
    result.efficiency =
        WalkForwardEfficiency(result.outOfSample.annualReturn, result.inSample.annualReturn);
    recordings.push_back(std::move(recorded.recording));
    if (result.inSample.annualReturn) {
      inSampleSum += *result.inSample.annualReturn;
      ++inSampleCount;
    }
  }
  report.stitched = StitchRecordings(recordings);
  report.stitchedStatistics = ComputeStatistics(report.stitched, report.accountSize);
  if (inSampleCount > 0) report.meanInSampleAnnualReturn = inSampleSum / inSampleCount;
  report.efficiency = WalkForwardEfficiency(report.stitchedStatistics.annualReturn,
                                            report.meanInSampleAnnualReturn);

  std::filesystem::path stem(options.out);
  stem.replace_extension();
  std::vector<const SweepRow*> oos;
  for (const SweepRow& row : outRows) oos.push_back(&row);
  std::string error = WriteResultsFiles(stem.string() + ".oos.jsonl", AsResultRows(oos));
  if (error.empty()) error = WriteWalkForwardReport(stem.string(), report);
  if (!error.empty()) {
    std::fprintf(err, "kmr-sweep: %s\n", error.c_str());
    return kSweepExitBadInput;
  }

  std::fputs(WalkForwardTable(report).c_str(), out);
  std::fprintf(err,
               "kmr-sweep: %zu windows, %zu in-sample runs in %s; report in %s.walk-forward.html\n",
               windows.size(), inSample.size(), options.out.c_str(), stem.string().c_str());
  return 0;
}

}  // namespace kmr
