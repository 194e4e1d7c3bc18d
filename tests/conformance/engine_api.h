// The engine as a host sees it: the fifteen exports bound by name from a loaded library.
#pragma once

#include <string>

#include "common/kmr_exports.h"

struct EngineApi {
  void* library = nullptr;
  kmr::InitializeKMRFn InitializeKMR = nullptr;
  kmr::SetKMRPriceParametersFn SetKMRPriceParameters = nullptr;
  kmr::SetLogFilePathFn SetLogFilePath = nullptr;
  kmr::DeinitializeKMRFn DeinitializeKMR = nullptr;
  kmr::ProcessNewTickFn ProcessNewTick = nullptr;
  kmr::ProcessHistoryM1Fn ProcessHistoryM1 = nullptr;
  kmr::ProcessHistoryTickFn ProcessHistoryTick = nullptr;
  kmr::ProcessHistoryDataFinishedFn ProcessHistoryDataFinished = nullptr;
  kmr::GetNextCommandFn GetNextCommand = nullptr;
  kmr::OrderFilledFn OrderFilled = nullptr;
  kmr::OpenDealClosedFn OpenDealClosed = nullptr;
  kmr::OrderSetTicketFn OrderSetTicket = nullptr;
  kmr::OrderClosedFn OrderClosed = nullptr;
  kmr::OrderRejectedFn OrderRejected = nullptr;
  kmr::TriggerExternalSignalFn TriggerExternalSignal = nullptr;
};

// Loads the library and binds every export; on failure `error` says what is missing.
bool BindEngine(const char* path, EngineApi& api, std::string& error);

// The tester's default strategy with the given tick size: trend charts 1600, 800, 400, 200, 100
// (no letters), five considered, entry charts 40, 80, 120.
int InitializeDefaults(const EngineApi& api, double tickSize);

std::u16string Utf16(const std::string& text);
