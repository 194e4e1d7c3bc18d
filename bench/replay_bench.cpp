// Replay speed: the source reader alone, and the tester's untimed history and trade parts
// through the real engine, on a generated file of five million lines.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "tester/broker/broker.h"
#include "tester/connector/library_connector.h"
#include "tester/processing/processing_loop.h"
#include "tester/processing/processing_view.h"
#include "tester/settings/local_time.h"
#include "tester/source/source_reader.h"

namespace {

constexpr long kLines = 5'000'000;

// One price every 5 seconds from 2023-01-01 local time (crossing both daylight-saving changes),
// a random walk of 0.0001 steps around 1.1.
const std::string& PriceFile() {
  static const std::string path = [] {
    char folder[] = "/tmp/kmr_replay_bench_XXXXXX";
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
    std::atexit([] { std::filesystem::remove_all(std::filesystem::path(path).parent_path()); });
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

void BM_ReadSource(benchmark::State& state) {
  const std::string& file = PriceFile();
  long lines = 0;
  for (auto _ : state) {
    kmr::SourceReader reader;
    reader.Open(file);
    kmr::SourceLine line;
    double sum = 0;
    while (reader.ReadLine(line)) sum += line.price, ++lines;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(lines);
}

// range(0) = 1: the whole file is history; 0: only the first line is, the rest is trade.
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
    kmr::ProcessingLoop loop(settings, &connector.Api(), &broker, view);
    loop.SetSaveOnHistoryStart(false);
    loop.StartHistory();
    if (!state.range(0)) loop.StartTrade();
    lines += state.range(0) ? loop.HistoryLines() : loop.TradeLines();
    state.counters["deals"] = broker.LongDeals() + broker.ShortDeals();
  }
  state.SetItemsProcessed(lines);
}

}  // namespace

BENCHMARK(BM_ReadSource)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Replay)
    ->ArgName("history")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_MAIN();
