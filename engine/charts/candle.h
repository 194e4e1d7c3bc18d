#pragma once

namespace kmr {

struct Candle {
  double open;
  double high;
  double low;
  double close;
};

// ChartResult bits returned by a chart's ProcessTick.
constexpr unsigned kResultEvent = 0x001;
constexpr unsigned kResultUp1 = 0x100;
constexpr unsigned kResultUp2 = 0x200;
constexpr unsigned kResultDown1 = 0x400;
constexpr unsigned kResultDown2 = 0x800;
constexpr unsigned kResultSignals = 0xF00;

constexpr int kRingSize = 256;

}  // namespace kmr
