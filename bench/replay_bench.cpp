// Replay speed: the source reader alone, and the tester's untimed history and trade parts
// through the real engine, on a generated file of five million lines; and kmr-replay itself as
// its own process on that file, beside `wc -l` of the same file, with its peak memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tester/broker/broker.h"
#include "tester/connector/library_connector.h"
#include "tester/processing/processing_loop.h"
#include "tester/processing/processing_view.h"
#include "tester/report/run_recorder.h"
#include "tester/settings/local_time.h"
#include "tester/source/source_reader.h"

extern char** environ;

namespace {

constexpr long kLines = 5'000'000;

// One price every 5 seconds from 2023-01-01 local time (crossing both daylight-saving changes),
// a random walk of 0.0001 steps around 1.1.
// The folder outlives every std::string: the clean-up at exit runs after static strings are gone.
char g_folder[] = "/tmp/kmr_replay_bench_XXXXXX";

const std::string& PriceFile() {
  static const std::string path = [] {
    char* folder = g_folder;
    if (mkdtemp(folder) == nullptr) std::abort();
    const std::string file = std::string(folder) + "/prices.txt";
    std::FILE* out = std::fopen(file.c_str(), "w");
    std::mt19937 random(7);
    std::int32_t time = *kmr::LocalToTime32({2023, 1, 1, 0, 0, 0});
    int ticks = 11000;
    for (long i = 0; i < kLines; ++i, time += 5) {
      ticks += static_cast<int>(random() % 3) - 1;
      const std::time_t t = time;
      std::tm local{};
      localtime_r(&t, &local);
      std::fprintf(out, "%04d%02d%02d %02d%02d%02d;%d.%04d\n", local.tm_year + 1900,
                   local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                   ticks / 10000, ticks % 10000);
    }
    std::fclose(out);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(g_folder, ignored);
    });
    return file;
  }();
  return path;
}

class NullView : public kmr::ProcessingView {
 public:
  void AddLogLine(std::string_view, bool, std::int32_t) override {}
  void ShowStatistics(const kmr::CKMRBroker&) override {}
  void ShowLastTick(std::int32_t, double) override {}
  void ShowMessage(std::string_view) override {}
  void ReportError(std::string_view) override {}
  std::string SourceFileName() const override { return PriceFile(); }
  std::string SpreadText() const override { return "0.0002"; }
  std::string StopText() const override { return "0"; }
  std::string LimitText() const override { return "0"; }
  kmr::LocalDateTime HistoryTillFields() const override { return till; }
  kmr::LocalDateTime till;
};

// The reader alone; range(0) = 1 reads every line through its plain path, the way the reader
// read every line before its fast path.
void BM_ReadSource(benchmark::State& state) {
  const std::string& file = PriceFile();
  long lines = 0;
  for (auto _ : state) {
    kmr::SourceReader reader;
    reader.SetPlainOnly(state.range(0) != 0);
    reader.Open(file);
    kmr::SourceLine line;
    double sum = 0;
    while (reader.ReadLine(line)) sum += line.price, ++lines;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(lines);
}

// range(0) = 1: the whole file is history; 0: only the first line is, the rest is trade.
// range(1) = 1: the run is recorded for its report (as kmr-replay always does), 0: it is not.
void BM_Replay(benchmark::State& state) {
  setenv("KMR_NO_WINDOW", "1", 0);
  PriceFile();  // generated before the timing starts
  kmr::CKMRLibraryConnector connector;
  if (!connector.BindLibrary()) {
    state.SkipWithError(connector.LastError().c_str());
    return;
  }
  kmr::TesterSettings settings;
  settings.TickSize = 0.0001;
  settings.TickValue = 10;
  settings.DealSize = 1;
  settings.TrendCharts[0] = 160, settings.TrendCharts[1] = 80, settings.TrendCharts[2] = 40;
  settings.TrendCharts[3] = 20, settings.TrendCharts[4] = 10;
  settings.EntryCharts[0] = 4, settings.EntryCharts[1] = 8, settings.EntryCharts[2] = 12;
  NullView view;
  view.till = state.range(0) ? kmr::LocalDateTime{2037, 1, 1, 0, 0, 0}
                             : kmr::LocalDateTime{2000, 1, 1, 0, 0, 0};
  long lines = 0;
  for (auto _ : state) {
    kmr::CKMRBroker broker(&connector.Api(), settings);
    kmr::RunRecorder recorder;
    kmr::ProcessingLoop loop(settings, &connector.Api(), &broker, view);
    loop.SetSaveOnHistoryStart(false);
    if (state.range(1)) {
      recorder.Attach(&broker);
      loop.SetRecorder(&recorder);
    }
    loop.StartHistory();
    if (!state.range(0)) loop.StartTrade();
    if (state.range(1)) {
      const kmr::RunRecording recording = recorder.Recording();
      state.counters["trades"] = static_cast<double>(recording.trades.size());
      recorder.Attach(nullptr);
    }
    lines += state.range(0) ? loop.HistoryLines() : loop.TradeLines();
    state.counters["deals"] = broker.LongDeals() + broker.ShortDeals();
  }
  state.SetItemsProcessed(lines);
}

kmr::TesterSettings BenchSettings() {
  kmr::TesterSettings settings;
  settings.TickSize = 0.0001;
  settings.TickValue = 10;
  settings.DealSize = 1;
  settings.TrendCharts[0] = 160, settings.TrendCharts[1] = 80, settings.TrendCharts[2] = 40;
  settings.TrendCharts[3] = 20, settings.TrendCharts[4] = 10;
  settings.EntryCharts[0] = 4, settings.EntryCharts[1] = 8, settings.EntryCharts[2] = 12;
  return settings;
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The history part against what it is made of, all in one run, each the best of the iterations
// in thread CPU time (the machine is shared): the reader alone (fast, and plain as before),
// the engine's ProcessHistoryTick alone on the file's lines held in memory, and the replay's
// history part. "x_budget" is the history part over reader plus engine; the aim is at most 1.4.
void BM_HistoryBudget(benchmark::State& state) {
  setenv("KMR_NO_WINDOW", "1", 0);
  const std::string& file = PriceFile();
  kmr::CKMRLibraryConnector connector;
  if (!connector.BindLibrary()) {
    state.SkipWithError(connector.LastError().c_str());
    return;
  }
  const kmr::EngineApi& engine = connector.Api();
  const kmr::TesterSettings settings = BenchSettings();
  std::vector<double> prices;
  std::vector<std::int32_t> times;
  {
    kmr::SourceReader reader;
    reader.Open(file);
    kmr::SourceLine line;
    while (reader.ReadLine(line)) prices.push_back(line.price), times.push_back(line.time);
  }
  const double lines = static_cast<double>(prices.size());
  NullView view;
  view.till = kmr::LocalDateTime{2037, 1, 1, 0, 0, 0};
  double reader = 1e9, plain = 1e9, ticks = 1e9, history = 1e9;
  for (auto _ : state) {
    for (const bool plainOnly : {false, true}) {
      const double start = CpuSeconds();
      kmr::SourceReader source;
      source.SetPlainOnly(plainOnly);
      source.Open(file);
      kmr::SourceLine line;
      double sum = 0;
      while (source.ReadLine(line)) sum += line.price;
      benchmark::DoNotOptimize(sum);
      (plainOnly ? plain : reader) = std::min(plainOnly ? plain : reader, CpuSeconds() - start);
    }
    kmr::ConfigureEngine(engine, settings);
    double start = CpuSeconds();
    for (std::size_t i = 0; i < prices.size(); ++i)
      benchmark::DoNotOptimize(engine.ProcessHistoryTick(prices[i], times[i], 0));
    ticks = std::min(ticks, CpuSeconds() - start);
    kmr::TesterSettings loopSettings = settings;
    kmr::ProcessingLoop loop(loopSettings, &engine, nullptr, view);
    loop.SetSaveOnHistoryStart(false);
    start = CpuSeconds();
    loop.StartHistory();
    history = std::min(history, CpuSeconds() - start);
    if (loop.HistoryLines() != static_cast<long>(prices.size())) state.SkipWithError("lines lost");
  }
  state.counters["reader_Mlines_s"] = lines / reader / 1e6;
  state.counters["plain_reader_Mlines_s"] = lines / plain / 1e6;
  state.counters["engine_tick_ns"] = ticks / lines * 1e9;
  state.counters["history_Mlines_s"] = lines / history / 1e6;
  state.counters["x_budget"] = history / (reader + ticks);
  state.counters["x_budget_plain"] = history / (plain + ticks);
}

struct ChildRun {
  double seconds = 0;     // wall clock
  double cpuSeconds = 0;  // user and system time of the child
  double peakMB = 0;      // the child's largest resident set
};

ChildRun RunChild(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  ChildRun run;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return run;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakMB = usage.ru_maxrss / 1024.0;
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

// kmr-replay end to end on the five-million-line file, the whole file as history (range(0) = 1)
// or as trade, and `wc -l` of the same file in the same run: "x_wc" is the replay's time over
// wc's. range(1) = 1 also writes the run's report; "html_MB" is the size of its page.
void BM_KmrReplayProcess(benchmark::State& state) {
  const std::string& file = PriceFile();
  const std::string settings = std::filesystem::path(file).parent_path() / "settings";
  const std::string report = std::filesystem::path(file).parent_path() / "report";
  setenv("XDG_CONFIG_HOME", settings.c_str(), 1);
  setenv("KMR_NO_WINDOW", "1", 1);
  const std::vector<std::string> replay = {
      std::string(KMR_BINARY_DIR) + "/bin/kmr-replay",
      "--defaults",
      "--history-till",
      state.range(0) ? "2037-01-01 00:00:00" : "2000-01-01 00:00:00",
      "--tick-size",
      "0.0001",
      "--tick-value",
      "10",
      "--deal-size",
      "1",
      "--trend",
      "160,80,40,20,10",
      "--entry",
      "4,8,12",
      "--json",
      file};
  std::vector<std::string> command = replay;
  if (state.range(1)) command.insert(command.end() - 1, {"--report", report});
  ChildRun run, wc;
  for (auto _ : state) {
    wc = RunChild({"wc", "-l", file});
    run = RunChild(command);
    state.SetIterationTime(run.seconds);
  }
  state.counters["lines_per_s"] = kLines / run.seconds;
  state.counters["wc_s"] = wc.seconds;
  state.counters["x_wc"] = run.seconds / wc.seconds;
  state.counters["peak_MB"] = run.peakMB;
  if (state.range(1)) {
    std::error_code error;
    const auto bytes = std::filesystem::file_size(report + "/report.html", error);
    state.counters["html_MB"] = error ? -1 : static_cast<double>(bytes) / (1024 * 1024);
  }
}

// The busy book: kmr-replay with the whole file as history, then as trade (about a thousand
// deals, some twenty open at a time), each run as its own process. Figures are CPU nanoseconds
// per line, the best of `range(0)` runs each (the machine is shared: the best is the least
// disturbed), and "ratio" is the trade part's cost over the history part's. With
// KMR_BASELINE_REPLAY naming another kmr-replay (say a build of main), the same figures for it
// come in the same run, as "base_*".
std::vector<std::string> BusyBookCommand(const std::string& program, bool history) {
  return {program,        "--defaults",
          "--history-till", history ? "2037-01-01 00:00:00" : "2000-01-01 00:00:00",
          "--tick-size",  "0.0001",
          "--tick-value", "10",
          "--deal-size",  "1",
          "--spread",     "0.0002",
          "--trend",      "160,80,40,20,10",
          "--entry",      "4,8,12",
          PriceFile()};
}

struct PartCosts {
  double historyNs = 0, tradeNs = 0;
};

PartCosts BestPartCosts(const std::string& program, int runs) {
  double history = 1e300, trade = 1e300;
  for (int i = 0; i < runs; ++i) {
    history = std::min(history, RunChild(BusyBookCommand(program, true)).cpuSeconds);
    trade = std::min(trade, RunChild(BusyBookCommand(program, false)).cpuSeconds);
  }
  return {history / kLines * 1e9, trade / kLines * 1e9};
}

void BM_BusyBook(benchmark::State& state) {
  const std::string& file = PriceFile();
  setenv("XDG_CONFIG_HOME", (std::filesystem::path(file).parent_path() / "settings").c_str(), 1);
  setenv("KMR_NO_WINDOW", "1", 1);
  const char* baseline = std::getenv("KMR_BASELINE_REPLAY");
  const int runs = static_cast<int>(state.range(0));
  PartCosts now, base;
  for (auto _ : state) {
    now = BestPartCosts(std::string(KMR_BINARY_DIR) + "/bin/kmr-replay", runs);
    if (baseline != nullptr && *baseline != 0) base = BestPartCosts(baseline, runs);
  }
  state.counters["hist_ns"] = now.historyNs;
  state.counters["trade_ns"] = now.tradeNs;
  state.counters["ratio"] = now.tradeNs / now.historyNs;
  if (base.historyNs > 0) {
    state.counters["base_hist_ns"] = base.historyNs;
    state.counters["base_trade_ns"] = base.tradeNs;
    state.counters["base_ratio"] = base.tradeNs / base.historyNs;
  }
}

}  // namespace

BENCHMARK(BM_BusyBook)->ArgName("runs")->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_KmrReplayProcess)
    ->ArgNames({"history", "report"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({0, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_ReadSource)->ArgName("plain")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HistoryBudget)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Replay)
    ->ArgNames({"history", "record"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_MAIN();
