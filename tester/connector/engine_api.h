// The table of engine entry points the tester calls through. The connector fills it from the
// loaded library; tests may fill it with fakes.
#pragma once

#include "common/kmr_exports.h"
#include "tester/settings/tester_settings.h"

namespace kmr {

struct EngineApi {
  InitializeKMRFn InitializeKMR = nullptr;
  SetKMRPriceParametersFn SetKMRPriceParameters = nullptr;
  SetLogFilePathFn SetLogFilePath = nullptr;
  DeinitializeKMRFn DeinitializeKMR = nullptr;
  ProcessNewTickFn ProcessNewTick = nullptr;
  ProcessHistoryM1Fn ProcessHistoryM1 = nullptr;
  ProcessHistoryTickFn ProcessHistoryTick = nullptr;
  ProcessHistoryDataFinishedFn ProcessHistoryDataFinished = nullptr;
  GetNextCommandFn GetNextCommand = nullptr;
  OrderFilledFn OrderFilled = nullptr;
  OpenDealClosedFn OpenDealClosed = nullptr;
  OrderSetTicketFn OrderSetTicket = nullptr;
  OrderClosedFn OrderClosed = nullptr;
  OrderRejectedFn OrderRejected = nullptr;
};

// InitializeKMR, SetKMRPriceParameters and, when LogFilePath is set, SetLogFilePath, with the
// settings' fields. The log path is passed as the settings' own NUL-terminated string.
void ConfigureEngine(const EngineApi& api, const TesterSettings& settings);

}  // namespace kmr
