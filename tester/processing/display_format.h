// The texts of the main window's log, statistics and last-tick displays, shared by both fronts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kmr {

class CKMRBroker;

// "[%s] %s" with the current local time, or "%s %s" with the tick time; the time formatted as
// "%Y%m%d %H:%M:%S" local (an empty text when that fails).
std::string FormatLogLine(std::string_view text, bool withTickTime, std::int32_t tickTime);

struct StatisticsTexts {
  std::string profitLoss;   // control 1013: "%.2f (%.2f)" floating, closed
  std::string maxDrawdown;  // control 1020: "%.2f"
  std::string maxPosition;  // control 1021: "%.2f"
  std::string deals;        // control 1022: "%i / %i" long, short
};
StatisticsTexts FormatStatistics(const CKMRBroker& broker);

// What "Reset" and the start-up show: "0.0" and "0 / 0".
inline constexpr const char* kResetProfitText = "0.0";
inline constexpr const char* kResetDealsText = "0 / 0";

// Control 1023: "%s   %.4f" from the tick time ("%Y%m%d %H:%M:%S" local) and the price.
std::string FormatLastTick(std::int32_t tickTime, double price);

}  // namespace kmr
