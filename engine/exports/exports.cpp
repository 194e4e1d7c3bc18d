// The fifteen C exports. Each one holds the engine lock for its whole call and does nothing
// (returning 0) when the records it needs do not exist yet.
#include <dlfcn.h>

#include <mutex>
#include <new>

#include "common/kmr_exports.h"
#include "engine/charts/candle.h"
#include "engine/context/configuration.h"
#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/context/log_file.h"
#include "engine/context/pipeline.h"
#include "engine/platform/platform.h"
#include "engine/trading/deal_table.h"
#include "engine/trading/signals.h"
#include "engine/trading/trading_state.h"
#include "engine/window/window.h"
#include "engine/window/window_runtime.h"

namespace {

kmr::EngineContext* g_context = nullptr;

// The context exists from library load until the process ends; it is never freed.
__attribute__((constructor)) void AttachLibrary() {
  Dl_info info{};
  void* moduleHandle = nullptr;
  if (dladdr(reinterpret_cast<void*>(&AttachLibrary), &info) != 0) moduleHandle = info.dli_fbase;
  g_context = kmr::CreateEngineContext(moduleHandle);
}

// Once the library is unloaded nothing can reach the context any more, so a host that loads
// and unloads the engine again and again would otherwise lose it every time. A window thread
// that the host never closed still uses it, though: then it stays.
__attribute__((destructor)) void DetachLibrary() {
  if (g_context == nullptr) return;
  const kmr::EngineWindow* window = g_context->window;
  if (window != nullptr && window->runtime != nullptr && window->runtime->session != nullptr)
    return;
  delete g_context;
  g_context = nullptr;
}

// Runs `work` under the engine lock; an allocation failure inside becomes `fallback`, since
// nothing may be thrown across the C boundary.
template <typename Result, typename Work>
Result Locked(Result fallback, Work work) {
  if (g_context == nullptr) return fallback;
  std::lock_guard<std::mutex> hold(g_context->lock);
  try {
    return work(*g_context);
  } catch (const std::bad_alloc&) {
    return fallback;
  }
}

kmr::TradingState* Trading(kmr::EngineContext& context) {
  return context.trading;
}

}  // namespace

KMR_EXPORT int InitializeKMR(double tickSize, int smoothing1, int smoothing2,
                             double reversalDeviation, int trendChart1, int trendChart2,
                             int trendChart3, int trendChart4, int trendChart5, int trendChart6,
                             int trendChart7, int trendChart8, int trendChartsConsidered,
                             int entryChart1, int entryChart2, int entryChart3, int entryChart4,
                             int entryChart5, int entryChart6, int entryChart7, int entryChart8) {
  const kmr::StrategyParameters parameters{
      tickSize,
      smoothing1,
      smoothing2,
      reversalDeviation,
      {static_cast<unsigned>(trendChart1), static_cast<unsigned>(trendChart2),
       static_cast<unsigned>(trendChart3), static_cast<unsigned>(trendChart4),
       static_cast<unsigned>(trendChart5), static_cast<unsigned>(trendChart6),
       static_cast<unsigned>(trendChart7), static_cast<unsigned>(trendChart8)},
      trendChartsConsidered,
      {static_cast<unsigned>(entryChart1), static_cast<unsigned>(entryChart2),
       static_cast<unsigned>(entryChart3), static_cast<unsigned>(entryChart4),
       static_cast<unsigned>(entryChart5), static_cast<unsigned>(entryChart6),
       static_cast<unsigned>(entryChart7), static_cast<unsigned>(entryChart8)}};
  return Locked(1, [&](kmr::EngineContext& context) {
    kmr::ConfigureEngine(context, parameters);
    return 1;
  });
}

KMR_EXPORT int SetKMRPriceParameters(double dealSize, double tickValue, double dealCommission,
                                     double cadProfit, int dcaInterval, int stdIntervalTicks,
                                     int stdIntervalMinDeals, double maxNetPosition, int flags) {
  const kmr::PriceParameters parameters{dealSize,
                                        tickValue,
                                        dealCommission,
                                        cadProfit,
                                        dcaInterval,
                                        stdIntervalTicks,
                                        stdIntervalMinDeals,
                                        maxNetPosition,
                                        static_cast<unsigned>(flags)};
  return Locked(0, [&](kmr::EngineContext& context) {
    kmr::SetPriceParameters(context, parameters);
    return 0;
  });
}

KMR_EXPORT int SetLogFilePath(const char16_t* path) {
  return Locked(0, [&](kmr::EngineContext& context) {
    kmr::SetLogFilePath(context, path);
    return 0;
  });
}

KMR_EXPORT void DeinitializeKMR() {
  kmr::EngineWindow* window = Locked<kmr::EngineWindow*>(
      nullptr, [](kmr::EngineContext& context) { return context.window; });
  if (window == nullptr) return;
  kmr::DebugOutput("DeinitializeKMRWindows");
  // The window thread needs the lock to finish its last paint, so it is not held here.
  kmr::CloseWindowAndJoin(*window);
}

KMR_EXPORT int ProcessNewTick(double bid, double ask, int time, unsigned char newCandle) {
  return Locked(0, [&](kmr::EngineContext& context) {
    return kmr::ProcessNewTick(context, bid, ask, time, newCandle != 0);
  });
}

KMR_EXPORT int ProcessHistoryM1(double open, double high, double low, double close, int time,
                                unsigned char newCandle) {
  return Locked(0, [&](kmr::EngineContext& context) {
    return kmr::ProcessHistoryM1(context, open, high, low, close, time, newCandle != 0);
  });
}

KMR_EXPORT int ProcessHistoryTick(double price, int time, unsigned char newCandle) {
  return Locked(0, [&](kmr::EngineContext& context) {
    return kmr::ProcessHistoryTick(context, price, time, newCandle != 0);
  });
}

KMR_EXPORT int ProcessHistoryDataFinished() {
  return Locked(
      0, [](kmr::EngineContext& context) { return kmr::ProcessHistoryDataFinished(context); });
}

KMR_EXPORT long long GetNextCommand() {
  return Locked(0LL, [](kmr::EngineContext& context) -> long long {
    kmr::TradingState* trading = Trading(context);
    return trading ? static_cast<long long>(kmr::GetNextCommand(*trading)) : 0;
  });
}

KMR_EXPORT int OrderFilled(unsigned ticket, double volume, double price) {
  return Locked(0, [&](kmr::EngineContext& context) {
    if (kmr::TradingState* trading = Trading(context))
      kmr::OrderFilled(*trading, ticket, volume, price);
    return 0;
  });
}

KMR_EXPORT int OpenDealClosed(unsigned ticket, double volume, double price) {
  return Locked(0, [&](kmr::EngineContext& context) {
    if (kmr::TradingState* trading = Trading(context))
      kmr::OpenDealClosed(*trading, ticket, volume, price);
    return 0;
  });
}

KMR_EXPORT int OrderSetTicket(unsigned id, unsigned ticket) {
  return Locked(0, [&](kmr::EngineContext& context) {
    if (kmr::TradingState* trading = Trading(context)) kmr::OrderSetTicket(*trading, id, ticket);
    return 0;
  });
}

KMR_EXPORT int OrderClosed(int ticket) {
  return Locked(0, [&](kmr::EngineContext& context) {
    if (kmr::TradingState* trading = Trading(context)) kmr::OrderClosed(*trading, ticket);
    return 0;
  });
}

KMR_EXPORT int OrderRejected(int id) {
  return Locked(0, [&](kmr::EngineContext& context) {
    if (kmr::TradingState* trading = Trading(context)) kmr::OrderRejected(*trading, id);
    return 0;
  });
}

KMR_EXPORT void TriggerExternalSignal(int /*reserved*/, int entryChart, unsigned char up) {
  Locked(0, [&](kmr::EngineContext& context) {
    kmr::TradingState* trading = Trading(context);
    if (trading == nullptr || trading->context == nullptr) return 0;
    if (entryChart < 1 || entryChart > context.entryChartCount) return 0;
    const unsigned result =
        up ? (kmr::kResultUp1 | kmr::kResultEvent) : (kmr::kResultDown1 | kmr::kResultEvent);
    kmr::OnEntrySignal(*trading, entryChart - 1, result, /*external=*/true);
    return 0;
  });
}
