#include "tester/sweep/sweep_options.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tester/replay/replay_options.h"
#include "tester/replay/readable_file.h"
#include "tester/report/run_statistics.h"

namespace kmr {

const char* const kSweepHelp =
    R"(Usage: kmr-sweep [kmr-replay options...] --vary NAME=VALUES [--vary ...]
                 [--samples N [--seed S]] [-j N] [--out FILE.jsonl] [--rank-by STAT] [--top K]
                 [--shard K/N] PRICEFILE
       kmr-sweep --merge --out FILE.jsonl SHARD.jsonl...
Runs kmr-replay over every combination of the axes' values (the grid) on all cores, each run
in a fresh engine, and writes one row per run; at the end prints the best runs.

  --vary NAME=VALUES    an axis: NAME is a kmr-replay option without its dashes (smoothing1,
                        cad-profit, history-till, ...); VALUES a list a,b,c, a range lo:hi:step
                        (inclusive, decimal-exact), or for trend and entry chart lists
                        separated by '|': 'trend=h200,t100,x50|h300,t150,x75'
  --samples N           run N distinct points of the grid drawn at random instead of all
  --seed S              the draw's seed (default 1): the same sample on every machine
  -j, --jobs N          worker processes (default: one per core)
  --out FILE.jsonl      the results (default sweep.jsonl); FILE.csv is written beside it.
                        Started again with the same arguments, a sweep skips the runs already
                        in the file
  --rank-by STAT        the statistic the best runs are picked by (default netProfit; any name
                        of the run report's statistics; drawdowns, losing streaks and
                        commission rank lowest first)
  --top K               how many of the best runs to print (default 10)
  --shard K/N           only the runs whose index % N is K (0 <= K < N), for a cluster
  --merge               join the shard files into --out as one sweep of all runs writes it
  --no-price-cache      every run reads the price file itself (for comparison)
  --walk-forward        walk-forward analysis: the grid on each training period, its best
                        run by --rank-by on the test period that follows (see below)
  --train D --test D    the training and test periods: D is a whole number of hours, days
                        or weeks (36h, 365d, 13w; days and weeks are local calendar days)
  --step D              how far each window moves on (default: the test period; not less)
  --warmup D            the head of each training period that only warms the charts up
                        before the in-sample trading (default: the test period)
  --anchored            every training period starts at the file's first line
  -h, --help            this text

Walk-forward: the in-sample runs take the training period as --history-from, the end of its
warm-up as --history-till and its end as --trade-till; the out-of-sample run of the choice
takes the whole training period as history (--history-from its start, --history-till the
test start) and trades up to --trade-till the test end. FILE.jsonl/FILE.csv hold every
in-sample run, STEM.oos.jsonl/.csv the out-of-sample rows, and STEM.walk-forward.json,
STEM.windows.csv, STEM.oos-equity.csv, STEM.oos-trades.csv, STEM.walk-forward.html the report.

Exit status: 0 done (failed runs are rows with their error); 2 bad arguments or results file;
3 the engine library cannot be loaded.
)";

namespace {

std::uint64_t Count(const std::string& name, const std::string& text, std::uint64_t lowest) {
  std::uint64_t value = 0;
  bool ok = !text.empty() && text.size() <= 19;
  for (char c : text) {
    ok = ok && c >= '0' && c <= '9';
    if (ok) value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (!ok || value < lowest)
    throw SweepOptionError(name + ": expected a whole number" +
                           (lowest > 0 ? " of at least " + std::to_string(lowest) : "") +
                           ", got '" + text + "'");
  return value;
}

}  // namespace

SweepOptions ParseSweepOptions(const std::vector<std::string>& args) {
  SweepOptions options;
  bool haveSeed = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inlineValue;
    if (name.rfind("--", 0) == 0) {
      if (const std::size_t equals = name.find('='); equals != std::string::npos) {
        inlineValue = name.substr(equals + 1);
        name.resize(equals);
      }
    } else if (name.rfind("-j", 0) == 0 && name.size() > 2) {
      inlineValue = name.substr(2);
      name = "-j";
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw SweepOptionError(name + " needs a value");
      return args[++i];
    };
    auto flag = [&](bool& target) {
      if (inlineValue) throw SweepOptionError(name + " takes no value");
      target = true;
    };
    if (name == "-h" || name == "--help") {
      flag(options.help);
    } else if (name == "--vary") {
      options.axes.push_back(ParseVary(value()));
    } else if (name == "--samples") {
      options.samples = Count(name, value(), 1);
    } else if (name == "--seed") {
      options.seed = Count(name, value(), 0);
      haveSeed = true;
    } else if (name == "-j" || name == "--jobs") {
      options.jobs = static_cast<int>(std::min<std::uint64_t>(Count(name, value(), 1), 4096));
    } else if (name == "--out") {
      options.out = value();
      if (options.out.empty()) throw SweepOptionError("--out needs a file");
    } else if (name == "--rank-by") {
      options.rankBy = value();
      const auto names = StatisticNames();
      if (std::find(names.begin(), names.end(), options.rankBy) == names.end())
        throw SweepOptionError("--rank-by: no statistic named '" + options.rankBy +
                               "' (see tester/report/STATISTICS.md)");
    } else if (name == "--top") {
      options.top = static_cast<std::size_t>(Count(name, value(), 1));
    } else if (name == "--shard") {
      const std::string text = value();
      const std::size_t slash = text.find('/');
      if (slash == std::string::npos)
        throw SweepOptionError("--shard: expected K/N, got '" + text + "'");
      const std::uint64_t k = Count("--shard", text.substr(0, slash), 0);
      const std::uint64_t n = Count("--shard", text.substr(slash + 1), 1);
      if (k >= n) throw SweepOptionError("--shard: K must be below N in '" + text + "'");
      options.shard = {{k, n}};
    } else if (name == "--merge") {
      flag(options.merge);
    } else if (name == "--no-price-cache") {
      bool on = false;
      flag(on);
      options.priceCache = false;
    } else if (name == "--walk-forward") {
      flag(options.walkForward);
    } else if (name == "--train") {
      options.train = value();
    } else if (name == "--test") {
      options.test = value();
    } else if (name == "--step") {
      options.step = value();
    } else if (name == "--warmup") {
      options.warmup = value();
    } else if (name == "--anchored") {
      flag(options.anchored);
    } else {
      options.baseArgs.push_back(args[i]);
    }
  }
  if (options.help) return options;
  if (haveSeed && !options.samples) throw SweepOptionError("--seed needs --samples");
  if (!options.walkForward) {
    for (const auto& [option, set] :
         {std::pair<const char*, bool>{"--train", !options.train.empty()},
          {"--test", !options.test.empty()},
          {"--step", !options.step.empty()},
          {"--warmup", !options.warmup.empty()},
          {"--anchored", options.anchored}})
      if (set) throw SweepOptionError(std::string(option) + " needs --walk-forward");
  }
  if (options.merge) {
    for (const std::string& arg : options.baseArgs) {
      if (arg.rfind("-", 0) == 0 && arg.size() > 1)
        throw SweepOptionError("--merge takes shard files, not " + arg);
      options.mergeFiles.push_back(arg);
    }
    options.baseArgs.clear();
    if (options.mergeFiles.empty()) throw SweepOptionError("--merge: no shard files given");
    if (options.shard) throw SweepOptionError("--merge: no --shard with it");
    if (!options.axes.empty()) throw SweepOptionError("--merge: no --vary with it");
    return options;
  }
  ReplayOptions replay;
  try {
    replay = ParseReplayOptions(options.baseArgs);
  } catch (const OptionError& error) {
    throw SweepOptionError(error.what());
  }
  for (const auto& [option, set] : {std::pair<const char*, bool>{"--save", replay.save},
                                    {"--show-settings", replay.showSettings},
                                    {"--report", !replay.reportDir.empty()}})
    if (set) throw SweepOptionError(std::string(option) + " is not for sweeps");
  for (const auto& [option, value] : replay.overrides)
    if (option == "--log-file")
      throw SweepOptionError("--log-file is not for sweeps: the runs would write one journal");
  if (replay.priceFile.empty()) throw SweepOptionError("no price file given");
  if (const std::string error = UnreadableFile(replay.priceFile); !error.empty())
    throw SweepOptionError(error);
  options.priceFile = replay.priceFile;
  options.library = replay.library;
  const std::uint64_t grid = GridSize(options.axes);
  if (options.samples && *options.samples > grid)
    throw SweepOptionError("--samples: " + std::to_string(*options.samples) +
                           " is more than the grid's " + std::to_string(grid) + " runs");
  return options;
}

std::vector<SweepRun> SweepRunsOf(const SweepOptions& options) {
  if (!options.samples) return MakeSweepRuns(options.baseArgs, options.axes, {}, false);
  return MakeSweepRuns(options.baseArgs, options.axes,
                       SamplePositions(GridSize(options.axes), *options.samples, options.seed),
                       true);
}

}  // namespace kmr
