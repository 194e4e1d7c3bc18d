#include "engine/window/manual_commands.h"

#include <mutex>

#include "engine/context/configuration.h"
#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/context/message_list.h"
#include "engine/trading/closing.h"
#include "engine/trading/opening.h"
#include "engine/trading/trading_state.h"
#include "engine/window/window.h"

namespace kmr {

Confirmation ConfirmationOf(int id) {
  switch (id) {
    case kMenuCloseAllDeals:
      return {"Are you sure to Close all open deals?", "Close all deals"};
    case kMenuStartManually:
      return {"Are you sure to start trading cycle manually?", "Manual start"};
    case kMenuOpenLong:
      return {"Are you sure to open LONG deal?", "Open deal"};
    case kMenuOpenShort:
      return {"Are you sure to open SHORT deal?", "Open deal"};
    case kMenuResetTrading:
      return {"Are you sure to RESET trading including open deals?", "Reset trading"};
    case kMenuResetCadCounter:
      return {"Are you sure to RESET CAD counters?", "Reset CAD counters"};
    default:
      return {nullptr, nullptr};
  }
}

bool RunManualCommand(EngineContext& context, EngineWindow& window, int id,
                      const ConfirmFunction& confirm) {
  if (id < kMenuCloseAllDeals || id > kMenuShortEnabled) return false;
  const Confirmation question = ConfirmationOf(id);
  if (question.text != nullptr) {
    if (!confirm || confirm(question.text, question.caption) != Answer::kYes) return false;
  }

  std::lock_guard<std::mutex> hold(context.lock);
  if (window.context == nullptr) return false;
  TradingState* trading = window.context->trading;
  switch (id) {
    case kMenuCloseAllDeals:
      if (trading) CloseAllDeals(*trading, /*manual=*/true);
      break;
    case kMenuStartManually:
      if (trading && trading->context) StartTradingCycleManually(*trading);
      break;
    case kMenuOpenLong:
    case kMenuOpenShort:
      LogMessage(*window.context, "Open Manual deal request");
      if (trading) OpenManualDeal(*trading, id == kMenuOpenLong);
      break;
    case kMenuResetTrading:
      if (trading) ResetTrading(*trading);
      break;
    case kMenuResetCadCounter:
      if (trading) ResetCadCounter(*trading);
      break;
    case kMenuLongEnabled:
      if (trading) trading->longEnabled = trading->longEnabled == 0 ? 1 : 0;
      break;
    case kMenuShortEnabled:
      if (trading) trading->shortEnabled = trading->shortEnabled == 0 ? 1 : 0;
      break;
  }
  RequestRepaint(window);
  return true;
}

}  // namespace kmr
