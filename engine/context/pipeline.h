// The path of every tick and history bar through charts and trading logic.
#pragma once

#include <cstdint>

namespace kmr {

struct EngineContext;

int ProcessNewTick(EngineContext& context, double bid, double ask, std::int32_t time,
                   bool newCandle);
int ProcessHistoryM1(EngineContext& context, double open, double high, double low, double close,
                     std::int32_t time, bool newCandle);
int ProcessHistoryTick(EngineContext& context, double price, std::int32_t time, bool newCandle);
int ProcessHistoryDataFinished(EngineContext& context);

}  // namespace kmr
