// Engine speed through its exports, on the sample prices with the tester's default charts:
// ns per history tick and per ProcessNewTick before live mode.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/kmr_exports.h"

namespace {

struct Prices {
  std::vector<double> price;
  std::vector<int> time;
};

const Prices& SamplePrices() {
  static const Prices prices = [] {
    Prices p;
    const std::string path =
        std::string(KMR_SOURCE_DIR) + "/data/USDCHF_30min_19960401-20010330.txt";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return p;
    char line[128];
    int t = 0;
    while (std::fgets(line, sizeof line, file)) {
      const char* semicolon = std::strchr(line, ';');
      if (semicolon == nullptr) continue;
      p.price.push_back(std::strtod(semicolon + 1, nullptr));
      p.time.push_back(t += 1800);
    }
    std::fclose(file);
    return p;
  }();
  return prices;
}

struct Engine {
  kmr::InitializeKMRFn InitializeKMR;
  kmr::ProcessHistoryTickFn ProcessHistoryTick;
  kmr::ProcessNewTickFn ProcessNewTick;
};

const Engine* LoadEngine() {
  static const Engine* engine = []() -> const Engine* {
    setenv("KMR_NO_WINDOW", "1", 1);
    const std::string path = std::string(KMR_BINARY_DIR) + "/bin/KMRLibrary.so";
    void* library = dlopen(path.c_str(), RTLD_NOW);
    if (library == nullptr) return nullptr;
    auto* e = new Engine{
        reinterpret_cast<kmr::InitializeKMRFn>(dlsym(library, "InitializeKMR")),
        reinterpret_cast<kmr::ProcessHistoryTickFn>(dlsym(library, "ProcessHistoryTick")),
        reinterpret_cast<kmr::ProcessNewTickFn>(dlsym(library, "ProcessNewTick"))};
    return e;
  }();
  return engine;
}

void InitializeDefaults(const Engine& e) {
  const int noHedge = 1 << 24;
  e.InitializeKMR(0.0001, 20, 8, 2.0, noHedge | 1600, noHedge | 800, noHedge | 400, noHedge | 200,
                  noHedge | 100, 0, 0, 0, 5, 40, 80, 120, 0, 0, 0, 0, 0);
}

template <bool kHistory>
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
      if constexpr (kHistory)
        benchmark::DoNotOptimize(e->ProcessHistoryTick(p.price[i], p.time[i], 0));
      else
        benchmark::DoNotOptimize(e->ProcessNewTick(p.price[i], p.price[i] + 0.0002, p.time[i], 0));
    }
  }
  state.SetItemsProcessed(static_cast<long>(state.iterations() * n));
  state.counters["ns_per_tick"] =
      benchmark::Counter(static_cast<double>(state.iterations() * n),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_HistoryTick(benchmark::State& state) {
  FeedSample<true>(state);
}
void BM_NewTickBeforeLive(benchmark::State& state) {
  FeedSample<false>(state);
}

BENCHMARK(BM_HistoryTick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewTickBeforeLive)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
