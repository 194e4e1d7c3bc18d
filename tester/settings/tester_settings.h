// The tester's settings: strategy parameters for the engine, the broker's money settings, the
// speed of timed processing and the engine's log file.
#pragma once

#include <cstdint>
#include <string>

namespace kmr {

struct TesterSettings {
  double Spread = 0;
  double StopDistance = 0;
  double LimitDistance = 0;
  double DealSize = 0.2;
  double CadProfit = 100.0;
  double TickSize = 0.25;
  double TickValue = 1.0;
  std::int32_t DcaInterval = 100;
  std::int32_t StdInterval = 50;
  std::int32_t StdMinDeals = 0;
  double MaxNetPos = 5.0;
  double DealComm = 1.5;
  std::int32_t Smoothing1 = 20;
  std::int32_t Smoothing2 = 8;
  double ReversalDev = 2.0;
  std::uint32_t TrendCharts[8] = {1600, 800, 400, 200, 100, 0, 0, 0};
  std::int32_t ConsiderFirst = 5;
  std::uint32_t EntryCharts[8] = {40, 80, 120, 0, 0, 0, 0, 0};
  std::uint32_t Flags = 0;
  std::u16string LogFilePath;  // empty: no log file
  std::int32_t ProcessingDelay = 0;
};

}  // namespace kmr
