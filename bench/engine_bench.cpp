// Engine speed through its real exports (KMRLibrary.so opened with dlopen, as a host does), on
// the sample prices: history ticks and bars and ProcessNewTick before live mode with the
// tester's default charts, live ticks while the strategy trades against a host that fills at once
// and closes on command, and the bare export call. The figure to read is `per_call`.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/command.h"
#include "tester/connector/library_connector.h"
#include "tester/source/source_reader.h"

namespace {

struct Prices {
  std::vector<double> price;
  std::vector<int> time;
};

const Prices& SamplePrices() {
  static const Prices prices = [] {
    Prices p;
    kmr::SourceReader reader;
    if (!reader.Open(std::string(KMR_SOURCE_DIR) + "/data/USDCHF_30min_19960401-20010330.txt"))
      return p;
    kmr::SourceLine line;
    while (reader.ReadLine(line)) p.price.push_back(line.price), p.time.push_back(line.time);
    return p;
  }();
  return prices;
}

const kmr::EngineApi* LoadEngine() {
  static const kmr::EngineApi* engine = []() -> const kmr::EngineApi* {
    setenv("KMR_NO_WINDOW", "1", 1);
    static kmr::CKMRLibraryConnector connector;
    if (!connector.BindLibrary(std::string(KMR_BINARY_DIR) + "/bin/KMRLibrary.so")) return nullptr;
    return &connector.Api();
  }();
  return engine;
}

constexpr int kNoHedge = 1 << 24;

void InitializeDefaults(const kmr::EngineApi& e) {
  e.InitializeKMR(0.0001, 20, 8, 2.0, kNoHedge | 1600, kNoHedge | 800, kNoHedge | 400,
                  kNoHedge | 200, kNoHedge | 100, 0, 0, 0, 5, 40, 80, 120, 0, 0, 0, 0, 0);
}

// Settings that trade on the sample: about 450 deals in the live part.
void InitializeTrading(const kmr::EngineApi& e) {
  e.InitializeKMR(0.0001, 20, 8, 2.0, 200, kNoHedge | (1 << 26) | 100, kNoHedge | (1 << 25) | 50,
                  kNoHedge | 25, kNoHedge | 12, 0, 0, 0, 3, 20, kNoHedge | 40, (1 << 25) | 60, 0, 0,
                  0, 0, 0);
  e.SetKMRPriceParameters(1, 10, 1.5, 100, 100, 50, 0, 5, 5);
}

bool Ready(benchmark::State& state, const kmr::EngineApi* e, const Prices& p) {
  if (e != nullptr && !p.price.empty()) return true;
  state.SkipWithError("engine library or sample file missing");
  return false;
}

void CountTicks(benchmark::State& state, std::size_t ticksPerIteration) {
  const auto ticks = static_cast<double>(state.iterations() * ticksPerIteration);
  state.SetItemsProcessed(static_cast<long>(ticks));
  // Seconds per call, printed with its prefix, e.g. "20.1ns".
  state.counters["per_call"] =
      benchmark::Counter(ticks, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

enum class Feed { HistoryTick, HistoryM1, NewTickBeforeLive };

template <Feed kFeed>
void FeedSample(benchmark::State& state) {
  const kmr::EngineApi* e = LoadEngine();
  const Prices& p = SamplePrices();
  if (!Ready(state, e, p)) return;
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
  CountTicks(state, n);
}

// The host's side of a command: opens fill at once at ask or bid, closes at bid or ask.
struct Host {
  std::vector<std::uint8_t> isLong;  // by ticket, which is the deal id
  long deals = 0;
};

void RunCommands(const kmr::EngineApi& e, double bid, double ask, Host& host) {
  for (;;) {
    const auto word = static_cast<std::uint64_t>(e.GetNextCommand());
    const std::uint8_t code = kmr::CommandCodeOf(word);
    const std::uint32_t operand = kmr::CommandOperandOf(word);
    if (code == kmr::kCommandOpenLong || code == kmr::kCommandOpenShort) {
      const bool isLong = code == kmr::kCommandOpenLong;
      if (operand >= host.isLong.size()) host.isLong.resize(operand + 1024);
      host.isLong[operand] = isLong;
      e.OrderSetTicket(operand, operand);
      e.OrderFilled(operand, 1, isLong ? ask : bid);
      ++host.deals;
    } else if (code == kmr::kCommandClose) {
      const bool isLong = operand < host.isLong.size() && host.isLong[operand];
      e.OpenDealClosed(operand, 1, isLong ? bid : ask);
    } else {
      return;
    }
  }
}

// The first third of the file is history; the live ticks that follow are timed, with every
// command they give and its host reports.
void BM_LiveTickTrading(benchmark::State& state) {
  const kmr::EngineApi* e = LoadEngine();
  const Prices& p = SamplePrices();
  if (!Ready(state, e, p)) return;
  const std::size_t n = p.price.size();
  const std::size_t history = n / 3;
  Host host;
  for (auto _ : state) {
    state.PauseTiming();
    InitializeTrading(*e);
    for (std::size_t i = 0; i < history; ++i) e->ProcessHistoryTick(p.price[i], p.time[i], 0);
    e->ProcessHistoryDataFinished();
    host.deals = 0;
    state.ResumeTiming();
    for (std::size_t i = history; i < n; ++i) {
      const double bid = p.price[i], ask = bid + 0.0002;
      if (e->ProcessNewTick(bid, ask, p.time[i], 0) != 0) RunCommands(*e, bid, ask, host);
    }
  }
  state.counters["deals"] = static_cast<double>(host.deals);
  CountTicks(state, n - history);
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
  const kmr::EngineApi* e = LoadEngine();
  if (e == nullptr) {
    state.SkipWithError("engine library missing");
    return;
  }
  InitializeDefaults(*e);
  constexpr std::size_t kCalls = 1000;
  for (auto _ : state)
    for (std::size_t i = 0; i < kCalls; ++i) benchmark::DoNotOptimize(e->GetNextCommand());
  CountTicks(state, kCalls);
}

BENCHMARK(BM_HistoryTick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryM1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NewTickBeforeLive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveTickTrading)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportCallFloor)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
