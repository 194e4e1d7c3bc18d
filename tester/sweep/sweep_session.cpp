#include "tester/sweep/sweep_session.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <set>

#include "tester/settings/text_convert.h"
#include "tester/sweep/sweep_results.h"
#include "tester/sweep/sweep_runner.h"

namespace kmr {

namespace {

// One line on a terminal, rewritten in place at most a few times a second.
class Progress {
 public:
  Progress(std::FILE* err, std::size_t total, std::size_t done)
      : err_(err),
        on_(isatty(fileno(err)) != 0),
        total_(total),
        done_(done),
        first_(done),
        start_(std::chrono::steady_clock::now()) {}

  void RunDone() {
    ++done_;
    if (!on_) return;
    const auto now = std::chrono::steady_clock::now();
    if (done_ < total_ && now - shown_ < std::chrono::milliseconds(200)) return;
    shown_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(done_ - first_) / seconds : 0;
    const double eta = rate > 0 ? static_cast<double>(total_ - done_) / rate : 0;
    std::fprintf(err_, "\r\033[K%zu/%zu runs, %.1f runs/s, ETA %s", done_, total_, rate,
                 Duration(eta).c_str());
    std::fflush(err_);
  }

  ~Progress() {
    if (on_ && done_ > first_) std::fprintf(err_, "\r\033[K");
  }

 private:
  static std::string Duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    if (s >= 3600) return Format("%ldh%02ldm", s / 3600, s / 60 % 60);
    if (s >= 60) return Format("%ldm%02lds", s / 60, s % 60);
    return Format("%lds", s);
  }

  std::FILE* err_;
  bool on_;
  std::size_t total_, done_, first_;
  std::chrono::steady_clock::time_point start_, shown_;
};

void SortByIndex(std::vector<ResultRow>& rows) {
  std::stable_sort(rows.begin(), rows.end(),
                   [](const ResultRow& a, const ResultRow& b) { return a.index < b.index; });
}

int Finish(const SweepOptions& options, std::vector<ResultRow>& rows, std::FILE* out,
           std::FILE* err) {
  SortByIndex(rows);
  if (const std::string error = WriteResultsFiles(options.out, rows); !error.empty()) {
    std::fprintf(err, "kmr-sweep: %s\n", error.c_str());
    return kSweepExitBadInput;
  }
  std::size_t failed = 0;
  for (const ResultRow& row : rows) failed += row.value.Find("error") != nullptr;
  std::fputs(RankingTable(rows, options.rankBy, options.top).c_str(), out);
  std::fflush(out);
  std::fprintf(err, "kmr-sweep: %zu runs (%zu failed); results in %s and %s\n", rows.size(), failed,
               options.out.c_str(), CsvPathFor(options.out).c_str());
  return 0;
}

}  // namespace

int RunMissingRuns(const std::string& path, const std::vector<SweepRun>& runs,
                   const SweepExec& exec, const std::optional<SweepShard>& shard,
                   std::vector<ResultRow>& rows, std::FILE* err) {
  ResultsText existing = ReadResults(path);
  if (!existing.error.empty()) {
    std::fprintf(err, "kmr-sweep: %s\n", existing.error.c_str());
    return kSweepExitBadInput;
  }
  std::set<std::uint64_t> done;
  long lineNumber = 0;
  for (const ResultRow& row : existing.rows) {
    ++lineNumber;
    const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
    if (row.sweep != exec.sweepId || row.runs != exec.sweepRuns) {
      std::fprintf(err,
                   "kmr-sweep: %sa row of another sweep (id %s, this one is %s): give another "
                   "--out, or remove the file to start again\n",
                   where.c_str(), row.sweep.c_str(), exec.sweepId.c_str());
      return kSweepExitBadInput;
    }
    if (shard && row.index % shard->second != shard->first) {
      std::fprintf(err, "kmr-sweep: %srun %llu is not in shard %llu/%llu\n", where.c_str(),
                   static_cast<unsigned long long>(row.index),
                   static_cast<unsigned long long>(shard->first),
                   static_cast<unsigned long long>(shard->second));
      return kSweepExitBadInput;
    }
    if (!done.insert(row.index).second) {
      std::fprintf(err, "kmr-sweep: %srun %llu is in the file twice\n", where.c_str(),
                   static_cast<unsigned long long>(row.index));
      return kSweepExitBadInput;
    }
  }
  if (existing.torn)
    std::fprintf(err, "kmr-sweep: %s: dropped a torn last line; its run is made again\n",
                 path.c_str());
  std::vector<SweepRun> todo;
  for (const SweepRun& run : runs)
    if (!done.count(run.index)) todo.push_back(run);
  if (!done.empty() && !todo.empty())
    std::fprintf(err, "kmr-sweep: resuming: %zu of %zu runs done\n", done.size(), runs.size());

  ResultsAppender appender;
  if (const std::string error = appender.Open(path, existing.goodBytes); !error.empty()) {
    std::fprintf(err, "kmr-sweep: %s\n", error.c_str());
    return kSweepExitBadInput;
  }
  rows = std::move(existing.rows);
  std::string writeError;
  try {
    Progress progress(err, runs.size(), done.size());
    RunSweepRuns(todo, exec, [&](const SweepRow& row) {
      if (!writeError.empty()) return;
      writeError = appender.Append(row.json);
      ResultsText parsed = ParseResults(row.json + "\n", path);
      if (parsed.rows.size() == 1) rows.push_back(std::move(parsed.rows.front()));
      progress.RunDone();
    });
  } catch (const SweepLibraryError& error) {
    std::fprintf(err, "kmr-sweep: %s\n", error.what());
    return kSweepExitNoLibrary;
  }
  appender.Close();
  if (!writeError.empty()) {
    std::fprintf(err, "kmr-sweep: %s\n", writeError.c_str());
    return kSweepExitBadInput;
  }
  SortByIndex(rows);
  return 0;
}

int RunSweep(const SweepOptions& options, std::FILE* out, std::FILE* err) {
  const std::vector<SweepRun> all = SweepRunsOf(options);
  SweepExec exec;
  exec.jobs = options.jobs;
  exec.library = options.library;
  exec.sweepId = SweepIdOf(all);
  exec.sweepRuns = all.size();
  exec.priceCache = options.priceCache;

  std::vector<SweepRun> mine;
  for (const SweepRun& run : all)
    if (!options.shard || run.index % options.shard->second == options.shard->first)
      mine.push_back(run);
  std::vector<ResultRow> rows;
  if (const int code = RunMissingRuns(options.out, mine, exec, options.shard, rows, err); code != 0)
    return code;
  return Finish(options, rows, out, err);
}

int MergeSweepShards(const SweepOptions& options, std::FILE* out, std::FILE* err) {
  std::vector<ResultRow> rows;
  std::map<std::uint64_t, std::string> seenIn;  // run index -> the file it came from
  std::string sweep;
  std::uint64_t runs = 0;
  for (const std::string& file : options.mergeFiles) {
    if (access(file.c_str(), R_OK) != 0) {
      std::fprintf(err, "kmr-sweep: %s: cannot open: %s\n", file.c_str(), std::strerror(errno));
      return kSweepExitBadInput;
    }
    ResultsText text = ReadResults(file);
    if (!text.error.empty()) {
      std::fprintf(err, "kmr-sweep: %s\n", text.error.c_str());
      return kSweepExitBadInput;
    }
    if (text.torn)
      std::fprintf(err, "kmr-sweep: %s: its last line is torn (the shard did not finish)\n",
                   file.c_str());
    for (ResultRow& row : text.rows) {
      if (sweep.empty()) {
        sweep = row.sweep;
        runs = row.runs;
      }
      if (row.sweep != sweep || row.runs != runs) {
        std::fprintf(err, "kmr-sweep: %s: rows of another sweep (id %s, %s has %s)\n", file.c_str(),
                     row.sweep.c_str(), options.mergeFiles.front().c_str(), sweep.c_str());
        return kSweepExitBadInput;
      }
      const auto [at, added] = seenIn.emplace(row.index, file);
      if (!added) {
        std::fprintf(err, "kmr-sweep: run %llu is in %s and in %s\n",
                     static_cast<unsigned long long>(row.index), at->second.c_str(), file.c_str());
        return kSweepExitBadInput;
      }
      rows.push_back(std::move(row));
    }
  }
  if (rows.empty()) {
    std::fprintf(err, "kmr-sweep: --merge: the shard files hold no runs\n");
    return kSweepExitBadInput;
  }
  std::string missing;
  std::uint64_t missingCount = 0;
  for (std::uint64_t index = 0; index < runs; ++index) {
    if (seenIn.count(index)) continue;
    if (++missingCount <= 20) missing += (missing.empty() ? "" : ", ") + std::to_string(index);
  }
  if (missingCount > 0) {
    std::fprintf(err, "kmr-sweep: --merge: %llu of %llu runs missing: %s%s\n",
                 static_cast<unsigned long long>(missingCount),
                 static_cast<unsigned long long>(runs), missing.c_str(),
                 missingCount > 20 ? ", ..." : "");
    return kSweepExitBadInput;
  }
  return Finish(options, rows, out, err);
}

}  // namespace kmr
