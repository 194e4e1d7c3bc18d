#include "tester/convert/bar_ticks.h"

namespace kmr {

void BarAsTicks(std::int64_t start, std::int32_t span, double open, double high, double low,
                double close, BarTick (&ticks)[4]) {
  const bool rising = close >= open;
  if (span < 1) span = 1;
  ticks[0] = {start, open};
  ticks[1] = {start + span / 3, rising ? low : high};
  ticks[2] = {start + 2 * span / 3, rising ? high : low};
  ticks[3] = {start + span - 1, close};
}

}  // namespace kmr
