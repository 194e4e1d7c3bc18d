// The engine's binary interface: the fifteen C functions a host calls.
// Shared by the engine, the tester and the conformance host.
#pragma once

#define KMR_EXPORT extern "C" __attribute__((visibility("default")))

KMR_EXPORT int InitializeKMR(double tickSize, int smoothing1, int smoothing2,
                             double reversalDeviation, int trendChart1, int trendChart2,
                             int trendChart3, int trendChart4, int trendChart5, int trendChart6,
                             int trendChart7, int trendChart8, int trendChartsConsidered,
                             int entryChart1, int entryChart2, int entryChart3, int entryChart4,
                             int entryChart5, int entryChart6, int entryChart7, int entryChart8);
KMR_EXPORT int SetKMRPriceParameters(double dealSize, double tickValue, double dealCommission,
                                     double cadProfit, int dcaInterval, int stdIntervalTicks,
                                     int stdIntervalMinDeals, double maxNetPosition, int flags);
// `path` is NUL-terminated UTF-16, optionally ending in " \<digit>" for the journal level.
KMR_EXPORT int SetLogFilePath(const char16_t* path);
KMR_EXPORT void DeinitializeKMR();
KMR_EXPORT int ProcessNewTick(double bid, double ask, int time, unsigned char newCandle);
KMR_EXPORT int ProcessHistoryM1(double open, double high, double low, double close, int time,
                                unsigned char newCandle);
KMR_EXPORT int ProcessHistoryTick(double price, int time, unsigned char newCandle);
KMR_EXPORT int ProcessHistoryDataFinished();
KMR_EXPORT long long GetNextCommand();
KMR_EXPORT int OrderFilled(unsigned ticket, double volume, double price);
KMR_EXPORT int OpenDealClosed(unsigned ticket, double volume, double price);
KMR_EXPORT int OrderSetTicket(unsigned id, unsigned ticket);
KMR_EXPORT int OrderClosed(int ticket);
KMR_EXPORT int OrderRejected(int id);
KMR_EXPORT void TriggerExternalSignal(int reserved, int entryChart, unsigned char up);

namespace kmr {

// Pointer types for hosts that bind the exports at run time.
using InitializeKMRFn = decltype(&::InitializeKMR);
using SetKMRPriceParametersFn = decltype(&::SetKMRPriceParameters);
using SetLogFilePathFn = decltype(&::SetLogFilePath);
using DeinitializeKMRFn = decltype(&::DeinitializeKMR);
using ProcessNewTickFn = decltype(&::ProcessNewTick);
using ProcessHistoryM1Fn = decltype(&::ProcessHistoryM1);
using ProcessHistoryTickFn = decltype(&::ProcessHistoryTick);
using ProcessHistoryDataFinishedFn = decltype(&::ProcessHistoryDataFinished);
using GetNextCommandFn = decltype(&::GetNextCommand);
using OrderFilledFn = decltype(&::OrderFilled);
using OpenDealClosedFn = decltype(&::OpenDealClosed);
using OrderSetTicketFn = decltype(&::OrderSetTicket);
using OrderClosedFn = decltype(&::OrderClosed);
using OrderRejectedFn = decltype(&::OrderRejected);
using TriggerExternalSignalFn = decltype(&::TriggerExternalSignal);

// Every export, in the order of the engine's interface table.
inline constexpr const char* kExportNames[15] = {
    "InitializeKMR",  "SetKMRPriceParameters", "SetLogFilePath",       "DeinitializeKMR",
    "ProcessNewTick", "ProcessHistoryM1",      "ProcessHistoryTick",   "ProcessHistoryDataFinished",
    "GetNextCommand", "OrderFilled",           "OpenDealClosed",       "OrderSetTicket",
    "OrderClosed",    "OrderRejected",         "TriggerExternalSignal"};

}  // namespace kmr
