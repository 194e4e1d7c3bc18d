// Engine speed through its real exports (KMRLibrary.so opened with dlopen, as a host does), on
// the sample prices with the tester's default charts. The figure to read is `per_call`.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "common/kmr_exports.h"

namespace {

struct Prices {
  std::vector<double> price;
  std::vector<int> time;
};

// "YYYYMMDD HHMMSS;price", the time read as UTC (good enough for a benchmark).
const Prices& SamplePrices() {
  static const Prices prices = [] {
    Prices p;
    const std::string path =
        std::string(KMR_SOURCE_DIR) + "/data/USDCHF_30min_19960401-20010330.txt";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return p;
    char line[128];
    while (std::fgets(line, sizeof line, file)) {
      std::tm tm{};
      const char* semicolon = std::strchr(line, ';');
      if (semicolon == nullptr ||
          std::sscanf(line, "%4d%2d%2d %2d%2d%2d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                      &tm.tm_hour, &tm.tm_min, &tm.tm_sec) != 6)
        continue;
      tm.tm_year -= 1900;
      tm.tm_mon -= 1;
      p.price.push_back(std::strtod(semicolon + 1, nullptr));
      p.time.push_back(static_cast<int>(timegm(&tm)));
    }
    std::fclose(file);
    return p;
  }();
  return prices;
}

struct Engine {
  kmr::InitializeKMRFn InitializeKMR;
  kmr::ProcessHistoryTickFn ProcessHistoryTick;
  kmr::ProcessHistoryM1Fn ProcessHistoryM1;
  kmr::ProcessNewTickFn ProcessNewTick;
  kmr::GetNextCommandFn GetNextCommand;
};

template <typename Fn>
Fn Bind(void* library, const char* name) {
  return reinterpret_cast<Fn>(dlsym(library, name));
}

const Engine* LoadEngine() {
  static const Engine* engine = []() -> const Engine* {
    setenv("KMR_NO_WINDOW", "1", 1);
    const std::string path = std::string(KMR_BINARY_DIR) + "/bin/KMRLibrary.so";
    void* library = dlopen(path.c_str(), RTLD_NOW);
    if (library == nullptr) return nullptr;
    auto* e = new Engine{Bind<kmr::InitializeKMRFn>(library, "InitializeKMR"),
                         Bind<kmr::ProcessHistoryTickFn>(library, "ProcessHistoryTick"),
                         Bind<kmr::ProcessHistoryM1Fn>(library, "ProcessHistoryM1"),
                         Bind<kmr::ProcessNewTickFn>(library, "ProcessNewTick"),
                         Bind<kmr::GetNextCommandFn>(library, "GetNextCommand")};
    return e;
  }();
  return engine;
}

// The tester's default charts: trend 1600, 800, 400, 200, 100 without hedging, five considered,
// entry 40, 80, 120.
void InitializeDefaults(const Engine& e) {
  const int noHedge = 1 << 24;
  e.InitializeKMR(0.0001, 20, 8, 2.0, noHedge | 1600, noHedge | 800, noHedge | 400, noHedge | 200,
                  noHedge | 100, 0, 0, 0, 5, 40, 80, 120, 0, 0, 0, 0, 0);
}

void SetCallCounters(benchmark::State& state, std::size_t callsPerIteration) {
  const auto calls = static_cast<double>(state.iterations() * callsPerIteration);
  state.SetItemsProcessed(static_cast<std::int64_t>(calls));
  // Seconds per call, printed with its prefix, e.g. "20.1ns".
  state.counters["per_call"] =
      benchmark::Counter(calls, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

enum class Feed { HistoryTick, HistoryM1, NewTickBeforeLive };

template <Feed kFeed>
void FeedSample(benchmark::State& state) {
  const Engine* e = LoadEngine();
  const Prices& p = SamplePrices();
  if (e == nullptr || p.price.empty()) {
    state.SkipWithError("engine library or sample file missing");
    return;
  }
  InitializeDefaults(*e);
  const std::size_t n = p.price.size();
  for (auto _ : state) {
    for (std::size_t i = 0; i < n; ++i) {
      const double price = p.price[i];
      if constexpr (kFeed == Feed::HistoryTick) {
        benchmark::DoNotOptimize(e->ProcessHistoryTick(price, p.time[i], 0));
      } else if constexpr (kFeed == Feed::HistoryM1) {
        // A bar from the previous price to this one.
        const double open = i > 0 ? p.price[i - 1] : price;
        benchmark::DoNotOptimize(e->ProcessHistoryM1(open, std::max(open, price) + 0.0003,
                                                     std::min(open, price) - 0.0003, price,
                                                     p.time[i], 0));
      } else {
        benchmark::DoNotOptimize(e->ProcessNewTick(price, price + 0.0002, p.time[i], 0));
      }
    }
  }
  SetCallCounters(state, n);
}

void BM_HistoryTick(benchmark::State& state) {
  FeedSample<Feed::HistoryTick>(state);
}
void BM_HistoryM1(benchmark::State& state) {
  FeedSample<Feed::HistoryM1>(state);
}
void BM_NewTickBeforeLive(benchmark::State& state) {
  FeedSample<Feed::NewTickBeforeLive>(state);
}

// The floor of any export: the call through the library and the engine lock.
void BM_ExportCallFloor(benchmark::State& state) {
  const Engine* e = LoadEngine();
  if (e == nullptr) {
    state.SkipWithError("engine library missing");
    return;
  }
  InitializeDefaults(*e);
  constexpr std::size_t kCalls = 1000;
  for (auto _ : state)
    for (std::size_t i = 0; i < kCalls; ++i) benchmark::DoNotOptimize(e->GetNextCommand());
  SetCallCounters(state, kCalls);
}

BENCHMARK(BM_HistoryTick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryM1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewTickBeforeLive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportCallFloor)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
