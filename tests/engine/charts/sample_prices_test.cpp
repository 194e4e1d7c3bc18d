// The default charts on the sample prices, pinned bit for bit: a faster candle loop or a
// reordered sum must not change a single result.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/chart_spec.h"
#include "engine/charts/entry_chart.h"
#include "engine/charts/trend_chart.h"
#include "engine/context/configuration.h"
#include "engine/context/engine_context.h"
#include "engine/context/pipeline.h"

namespace kmr {
namespace {

std::string SamplePath() {
  std::string path = __FILE__;  // <repo>/tests/engine/charts/sample_prices_test.cpp
  for (int up = 0; up < 4; ++up) path.erase(path.find_last_of('/'));
  return path + "/data/USDCHF_30min_19960401-20010330.txt";
}

std::vector<double> SamplePrices() {
  std::vector<double> prices;
  std::FILE* file = std::fopen(SamplePath().c_str(), "r");
  if (file == nullptr) return prices;
  char line[128];
  while (std::fgets(line, sizeof line, file))
    if (const char* semicolon = std::strchr(line, ';'))
      prices.push_back(std::strtod(semicolon + 1, nullptr));
  std::fclose(file);
  return prices;
}

// FNV-1a over raw bytes: doubles are compared bit for bit.
struct Digest {
  std::uint64_t value = 1469598103934665603ull;
  template <typename T>
  void Add(const T& data) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&data);
    for (std::size_t i = 0; i < sizeof data; ++i) value = (value ^ bytes[i]) * 1099511628211ull;
  }
};

std::uint64_t TrendDigest(const TrendChart& c) {
  Digest d;
  d.Add(c.open);
  d.Add(c.high);
  d.Add(c.low);
  d.Add(c.close);
  d.Add(c.smoothedClose);
  d.Add(c.smoothedRange);
  d.Add(c.trueRangeAverage);
  d.Add(c.rangeWeightedSum);
  d.Add(c.rangeSum);
  d.Add(c.lowerBand);
  d.Add(c.upperBand);
  d.Add(c.lowerTrigger);
  d.Add(c.upperTrigger);
  for (int i = 0; i < c.trendChangeCount; ++i) {
    d.Add(c.trendDirection[i]);
    d.Add(c.trendTime[i]);
  }
  d.Add(c.currentDirection);
  return d.value;
}

std::uint64_t EntryDigest(const EntryChart& c) {
  Digest d;
  d.Add(c.open);
  d.Add(c.high);
  d.Add(c.low);
  d.Add(c.close);
  d.Add(c.lowerTrigger);
  d.Add(c.upperTrigger);
  return d.value;
}

TEST(SamplePrices, DefaultChartsGiveTheirKnownResults) {
  const std::vector<double> prices = SamplePrices();
  ASSERT_EQ(prices.size(), 62496u) << SamplePath();
  const StrategyParameters p{0.0001,
                             20,
                             8,
                             2.0,
                             {kTrendNoHedge | 1600, kTrendNoHedge | 800, kTrendNoHedge | 400,
                              kTrendNoHedge | 200, kTrendNoHedge | 100},
                             5,
                             {40, 80, 120}};
  std::unique_ptr<EngineContext> c(CreateEngineContext(nullptr));
  ConfigureEngine(*c, p);
  // History ticks, bars and pre-live ticks in turn, with a forced candle now and then.
  for (std::size_t i = 0; i < prices.size(); ++i) {
    const double price = prices[i];
    const auto time = static_cast<std::int32_t>(828316800 + 1800 * i);
    const bool force = i % 5000 == 4999;
    switch (i % 3) {
      case 0:
        ProcessHistoryTick(*c, price, time, force);
        break;
      case 1:
        ProcessHistoryM1(*c, price, price + 0.0007, price - 0.0005, price + 0.0002, time, force);
        break;
      default:
        ProcessNewTick(*c, price, price + 0.0002, time, force);
        break;
    }
  }

  const struct {
    int trendChanges;
    int completed;
    std::uint64_t digest;
  } trend[] = {
      {0, 16, 0x1d08216aa0afdaedull},   {0, 28, 0x913fb61436313e56ull},
      {0, 60, 0x89001c447220b962ull},   {3, 178, 0x7e39db3e8355ac01ull},
      {14, 604, 0xb31e4240e4046274ull},
  };
  const struct {
    int completed;
    std::uint64_t digest;
  } entry[] = {
      {3186, 0x2cc9cb4a45b29f2aull}, {915, 0x6ec8f74b0a4eedf2ull}, {439, 0x8ade1711f20186baull}};
  for (int i = 0; i < 5; ++i) {
    const TrendChart& chart = c->trendCharts[i];
    EXPECT_EQ(chart.trendChangeCount, trend[i].trendChanges) << "trend chart " << i;
    EXPECT_EQ(chart.completedCount, trend[i].completed) << "trend chart " << i;
    EXPECT_EQ(TrendDigest(chart), trend[i].digest) << "trend chart " << i;
  }
  for (int i = 0; i < 3; ++i) {
    const EntryChart& chart = c->entryCharts[i];
    EXPECT_EQ(chart.completedCount, entry[i].completed) << "entry chart " << i;
    EXPECT_EQ(EntryDigest(chart), entry[i].digest) << "entry chart " << i;
  }
}

}  // namespace
}  // namespace kmr
