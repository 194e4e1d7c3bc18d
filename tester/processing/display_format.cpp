#include "tester/processing/display_format.h"

#include <ctime>

#include "tester/broker/broker.h"
#include "tester/settings/text_convert.h"

namespace kmr {

namespace {

std::string LocalTimeText(std::time_t time) {
  std::tm fields{};
  if (localtime_r(&time, &fields) == nullptr) return {};
  char text[64];
  return std::string(text, std::strftime(text, sizeof text, "%Y%m%d %H:%M:%S", &fields));
}

}  // namespace

std::string FormatLogLine(std::string_view text, bool withTickTime, std::int32_t tickTime) {
  const std::string time = LocalTimeText(withTickTime ? std::time_t{tickTime} : std::time(nullptr));
  std::string line;
  line.reserve(time.size() + text.size() + 3);
  if (withTickTime) {
    line += time;
    line += ' ';
  } else {
    line += '[';
    line += time;
    line += "] ";
  }
  line += text;
  return line;
}

StatisticsTexts FormatStatistics(const CKMRBroker& broker) {
  return {Format("%.2f (%.2f)", broker.FloatingProfit(), broker.ClosedProfit()),
          Format("%.2f", broker.MaxDrawdown()), Format("%.2f", broker.MaxPosition()),
          Format("%i / %i", broker.LongDeals(), broker.ShortDeals())};
}

std::string FormatLastTick(std::int32_t tickTime, double price) {
  return Format("%s   %.4f", LocalTimeText(tickTime).c_str(), price);
}

}  // namespace kmr
