// A bar as the four prices the engine itself replays a bar as, on distinct seconds inside it,
// so that the bar given as ticks moves the charts as the bar given whole does.
#pragma once

#include <cstdint>

namespace kmr {

struct BarTick {
  std::int64_t time;
  double price;
};

// Open, low, high, close when the bar closed at or above its open; open, high, low, close
// otherwise. Over `span` seconds from `start`: at the start, a third and two thirds in, and at
// the last second (distinct when the span has four seconds or more).
void BarAsTicks(std::int64_t start, std::int32_t span, double open, double high, double low,
                double close, BarTick (&ticks)[4]);

}  // namespace kmr
