// The engine's one record per process.
#pragma once

#include <cstdint>
#include <mutex>

namespace kmr {

struct TrendChart;
struct EntryChart;
struct EngineWindow;
struct TradingState;

constexpr int kMaxCharts = 8;
constexpr int kCaptionSize = 16;

struct EngineContext {
  void* moduleHandle = nullptr;
  TrendChart* trendCharts = nullptr;  // owned; trendChartCount records once InitializeKMR ran
  EntryChart* entryCharts = nullptr;  // owned
  EngineWindow* window = nullptr;     // owned, created by the first InitializeKMR, never freed
  TradingState* trading = nullptr;    // owned, created with the context
  std::int32_t trendChartCount = 8;
  std::int32_t entryChartCount = 8;
  std::int32_t trendChartsConsidered = 5;
  std::uint8_t trendNoHedgeMask = 0;
  std::uint8_t entryOpenOrCloseMask = 0;
  std::uint8_t trendCloseOnlyMask = 0;
  std::uint8_t entryOpenOnlyMask = 0;
  std::uint8_t trendOpenMask = 0;
  std::uint8_t entryCloseOnlyMask = 0;
  std::uint32_t live = 0;
  std::uint32_t trendWord = 0;
  int logFile = -1;  // file descriptor; -1 is the invalid handle
  std::uint8_t logOpen = 0;
  std::uint8_t logLevel = 0;
  char trendCaptions[kMaxCharts][kCaptionSize] = {};
  char entryCaptions[kMaxCharts][kCaptionSize] = {};

  // The one engine lock: every export holds it for its whole call, the window thread for its
  // snapshot and for each manual command's trading action.
  std::mutex lock;

  EngineContext() = default;
  EngineContext(const EngineContext&) = delete;
  EngineContext& operator=(const EngineContext&) = delete;
  // The library's own context lives until the process ends; tests and tools that make their
  // own get everything back here.
  ~EngineContext();
};

// Creates a context with its TradingState, as the library does when it is loaded.
EngineContext* CreateEngineContext(void* moduleHandle);

}  // namespace kmr
