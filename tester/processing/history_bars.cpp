#include "tester/processing/history_bars.h"

#include <stdexcept>

#include "tester/settings/local_time.h"
#include "tester/source/bar_reader.h"

namespace kmr {

namespace {

std::string Shown(std::int32_t time) {
  return FormatLocalTime(time, "%Y-%m-%d %H:%M:%S");
}

}  // namespace

long FeedHistoryBars(const EngineApi* engine, const std::string& path,
                     std::optional<std::int32_t> before) {
  BarReader reader;
  std::string error;
  if (!reader.Open(path, error))
    throw std::runtime_error(path + ": cannot open the history bars: " + error);
  long count = 0;
  std::int32_t previous = 0;
  SourceBar bar;
  while (reader.ReadBar(bar)) {
    if (count > 0 && bar.time < previous)
      throw SourceError(path, reader.LineNumber(),
                        "bar at " + Shown(bar.time) + " comes after the bar at " + Shown(previous) +
                            ": bars must be in time order");
    if (before && bar.time >= *before)
      throw SourceError(path, reader.LineNumber(),
                        "bar at " + Shown(bar.time) +
                            " is not before the price file's first line (" + Shown(*before) +
                            "): history bars come before the prices");
    if (engine != nullptr)
      engine->ProcessHistoryM1(bar.open, bar.high, bar.low, bar.close, bar.time, 0);
    previous = bar.time;
    ++count;
  }
  return count;
}

}  // namespace kmr
